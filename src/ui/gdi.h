#pragma once

// Owners of GDI objects and device contexts, so that every path releases them.

#include "platform/unique_handle_win.h"

#include <windows.h>

namespace quorva {

using Font = BasicUniqueHandle<DeleteObject, HFONT>;
using Brush = BasicUniqueHandle<DeleteObject, HBRUSH>;
using Bitmap = BasicUniqueHandle<DeleteObject, HBITMAP>;

// A window's device context from GetDC, released when it goes out of scope.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { ReleaseDC(window_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint and EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDc() { EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }
    const RECT& dirty() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A device context of our own, deleted when it goes out of scope.
using OwnedDc = BasicUniqueHandle<DeleteDC, HDC>;

// A memory device context compatible with another one.
class MemoryDc : public OwnedDc {
public:
    explicit MemoryDc(HDC compatibleWith) : OwnedDc(CreateCompatibleDC(compatibleWith)) {}
};

// Selects a GDI object into a device context and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The system's message font (the one message boxes use: Segoe UI or Tahoma).
Font messageFont();

} // namespace quorva
