#pragma once

// Layout at the window's DPI. Positions and sizes are written in design units, pixels at 96 DPI,
// and scaled to the window's DPI when the controls are placed; a control that holds a line of
// text is also never shorter than that line in the window's font, so that a larger system text
// size does not clip it.

#include "ui/gdi.h"
#include "ui/window.h"

#include <windows.h>

namespace quorva {

inline constexpr int kDesignDpi = 96;

class Layout {
public:
    Layout() = default;
    // `lineHeight`: one line of the window's font, in pixels.
    Layout(int dpi, int lineHeight) : dpi_(dpi), lineHeight_(lineHeight) {}

    int dpi() const { return dpi_; }
    // Design units to pixels.
    int operator()(int units) const { return MulDiv(units, dpi_, kDesignDpi); }
    // Pixels to design units.
    int units(int pixels) const { return MulDiv(pixels, kDesignDpi, dpi_); }

    // Heights of one-line controls: the scaled design height, or the font's line and the
    // control's frame when that is taller.
    int labelHeight() const { return atLeastLine(18, 2); }
    int editHeight() const { return atLeastLine(24, 8); }
    int buttonHeight() const { return atLeastLine(28, 10); }

private:
    int atLeastLine(int units, int frame) const {
        const int scaled = (*this)(units);
        return scaled > lineHeight_ + frame ? scaled : lineHeight_ + frame;
    }

    int dpi_ = kDesignDpi;
    int lineHeight_ = 13;
};

// The DPI the window is shown at: its monitor's under per-monitor awareness, the system's
// otherwise (also on systems older than Windows 10, which cannot tell).
int windowDpi(HWND window);
// The system's message font at that DPI, and the height of one of its lines in pixels.
Font messageFontForDpi(int dpi);
int lineHeightOf(HFONT font);
// The window rectangle whose client area is `client`, with the frame of that DPI.
RECT windowRectForClient(const RECT& client, DWORD style, DWORD exStyle, int dpi);

} // namespace quorva
