#pragma once

// Windows and controls: the two base classes of the user interface.
//
// Window is a window of one of the program's own classes (the main window, a tab's page, the
// card picture area). Its window procedure dispatches each message to one OnXxx member and is
// the error boundary: every handler runs inside one try/catch there, and an error that reaches
// it is shown in the standard error box, after which the program goes on.
//
// Control wraps a child window of a system class (button, edit, list view...). The notifications
// that a control sends to its parent (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_CTLCOLORSTATIC) are
// handed back to the Control object by the parent, so each control class handles its own
// notifications, inside the parent's error boundary. Each control's window is also subclassed:
// the wrapper learns when the window goes away and may look at its messages first (the job grid
// takes its mouse moves and context menu from there).
//
// Two-phase creation: the objects are members of the main window and get their system windows in
// create(), once their parent exists.

#include "ui/message_box.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace quorva {

// A rectangle in the parent's client coordinates.
struct Bounds {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A child window's rectangle in its parent's client coordinates, and moving it there.
Bounds boundsOf(HWND window);
void moveTo(HWND window, const Bounds& bounds);

class Window {
public:
    explicit Window(MessageBoxes& boxes) : boxes_(boxes) {}
    // A derived class whose OnDestroy matters calls destroy() in its own destructor, while its
    // handlers still exist.
    virtual ~Window() { destroy(); }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    MessageBoxes& messageBoxes() const { return boxes_; }
    void destroy();
    // The font that the controls created in this window take (WM_SETFONT, not owned).
    void setFont(HFONT font) { font_ = font; }
    HFONT font() const { return font_; }
    Bounds bounds() const { return boundsOf(hwnd_); }
    void setBounds(const Bounds& bounds) { moveTo(hwnd_, bounds); }

    // Runs `handler` inside the error boundary. Returns false when it failed; the error has then
    // been shown in the standard error box.
    template <typename Handler> bool guard(Handler&& handler) noexcept {
        try {
            handler();
            return true;
        } catch (const std::exception& e) {
            reportError(e.what());
        }
        return false;
    }

    // WM_TIMER for the returned id runs `onTimer` (see Timer).
    UINT_PTR addTimer(std::function<void()> onTimer);
    void removeTimer(UINT_PTR id);

protected:
    // Registers the class on first use. `parent` null makes a top-level window.
    void create(const wchar_t* className, HWND parent, DWORD style, DWORD exStyle,
                const Bounds& bounds, const std::wstring& title);

    // One handler per message; the defaults do what the system would.
    virtual void OnCreate() {}
    virtual void OnDestroy() {}
    virtual void OnClose() { destroy(); }
    virtual void OnPaint(HDC, const RECT& /*dirty*/) {}
    virtual void OnTimer(UINT_PTR id);
    // Private messages, WM_APP to 0xBFFF.
    virtual void OnAppMessage(UINT, WPARAM, LPARAM) {}
    // The session ends (logoff, shutdown): the process may be ended as soon as this returns.
    virtual void OnEndSession() {}
    // A system-menu command (its four low bits cleared): true when handled, otherwise the system
    // carries it out.
    virtual bool OnSysCommand(UINT /*command*/) { return false; }
    // The client area's new size; `kind` is SIZE_RESTORED, SIZE_MINIMIZED, SIZE_MAXIMIZED...
    virtual void OnSize(UINT /*kind*/, int /*width*/, int /*height*/) {}
    // The smallest size the user may give the window.
    virtual void OnGetMinMaxInfo(MINMAXINFO&) {}
    // The window moved to a screen of another DPI; `suggested` is where the system proposes to
    // put it at that DPI.
    virtual void OnDpiChanged(int /*dpi*/, const RECT& suggested);
    // The system's text size, fonts or theme changed (WM_SETTINGCHANGE, WM_THEMECHANGED).
    virtual void OnSettingChange() {}
    // Activated or deactivated: true when the handler placed the focus itself, false to let the
    // system give it to the window.
    virtual bool OnActivate(bool /*active*/) { return false; }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Control notifications, handed to the control that sent them.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(LPARAM lParam);
    LRESULT OnDrawItem(LPARAM lParam);
    LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);
    void reportError(const char* message) noexcept;

    MessageBoxes& boxes_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    std::map<UINT_PTR, std::function<void()>> timers_;
    UINT_PTR nextTimerId_ = 1;
};

class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    HWND hwnd() const { return hwnd_; }
    int id() const { return GetDlgCtrlID(hwnd_); }
    bool enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void setEnabled(bool enabled) { EnableWindow(hwnd_, enabled); }
    bool visible() const { return IsWindowVisible(hwnd_) != FALSE; }
    void setVisible(bool visible) { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
    Bounds bounds() const { return boundsOf(hwnd_); }
    void setBounds(const Bounds& bounds) { moveTo(hwnd_, bounds); }
    void setFont(HFONT font);
    HFONT font() const;

    // The caption as an ANSI text (settings, paths and names are ANSI texts).
    std::string text() const;
    void setText(const std::string& text);
    // The caption as UTF-16 (the program's own French captions).
    std::wstring wideText() const;
    void setWideText(std::wstring_view text);
    // The caption's size on one line in the control's font ("&" marks an access key and takes no
    // room).
    SIZE textExtent() const;

    // The wrapper of a window, or null when it has none.
    static Control* fromHandle(HWND hwnd);

protected:
    void createControl(Window& parent, const wchar_t* className, DWORD style, DWORD exStyle,
                       const Bounds& bounds, std::wstring_view text = {});
    Window& parent() const { return *parent_; }

    // Notifications from the parent window, inside its error boundary.
    virtual void handleCommand(WORD /*code*/) {}
    virtual LRESULT handleNotify(NMHDR&) { return 0; }
    virtual void handleDrawItem(const DRAWITEMSTRUCT&) {}
    // A brush for the background, or null for the system's colours.
    virtual HBRUSH handleCtlColor(HDC) { return nullptr; }
    // After the caption changed through setText or setWideText.
    virtual void handleTextChanged() {}
    // A message to the control's own window, before its class sees it: true when handled, with
    // the result in `result`. Runs inside the parent's error boundary.
    virtual bool handleOwnMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT& /*result*/) {
        return false;
    }

private:
    friend class Window;
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);

    Window* parent_ = nullptr;
    HWND hwnd_ = nullptr;
};

} // namespace quorva
