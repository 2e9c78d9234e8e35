#include "ui/window.h"

#include "ui/gdi.h"

#include "platform/error.h"
#include "platform/system_error.h"

#include <commctrl.h>

#include <set>

namespace quorva {

namespace {

constexpr wchar_t kControlProperty[] = L"Quorva.Control";

void registerClassOnce(const wchar_t* className, WNDPROC procedure) {
    static std::set<std::wstring> registered;
    if (registered.count(className) != 0)
        return;
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = procedure;
    cls.hInstance = GetModuleHandleW(nullptr);
    // The program's icon when the executable carries one (resource 1).
    cls.hIcon = LoadIconW(cls.hInstance, MAKEINTRESOURCEW(1));
    cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = className;
    if (RegisterClassExW(&cls) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw Error(systemErrorText(GetLastError()));
    registered.insert(className);
}

std::wstring windowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

Bounds boundsOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void moveTo(HWND window, const Bounds& bounds) {
    SetWindowPos(window, nullptr, bounds.x, bounds.y, bounds.width, bounds.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Window

void Window::create(const wchar_t* className, HWND parent, DWORD style, DWORD exStyle,
                    const Bounds& bounds, const std::wstring& title) {
    registerClassOnce(className, windowProc);
    // WM_NCCREATE stores the window handle; CreateWindowEx returns only after WM_CREATE ran.
    HWND created =
        CreateWindowExW(exStyle, className, title.c_str(), style, bounds.x, bounds.y, bounds.width,
                        bounds.height, parent, nullptr, GetModuleHandleW(nullptr), this);
    if (created == nullptr)
        throw Error(systemErrorText(GetLastError()));
}

void Window::destroy() {
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
}

UINT_PTR Window::addTimer(std::function<void()> onTimer) {
    const UINT_PTR id = nextTimerId_++;
    timers_.emplace(id, std::move(onTimer));
    return id;
}

void Window::removeTimer(UINT_PTR id) {
    if (hwnd_ != nullptr)
        KillTimer(hwnd_, id);
    timers_.erase(id);
}

void Window::OnTimer(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it != timers_.end() && it->second)
        it->second();
}

void Window::OnDpiChanged(int, const RECT& suggested) {
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::reportError(const char* message) noexcept {
    try {
        showErrorBox(boxes_, hwnd_ != nullptr ? GetAncestor(hwnd_, GA_ROOT) : nullptr, message);
    } catch (...) {
        // Nothing is left to tell the user with; the program goes on.
    }
}

LRESULT CALLBACK Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    self->guard([&] { result = self->handleMessage(message, wParam, lParam); });
    return result;
}

LRESULT Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_PAINT: {
        PaintDc paint(hwnd_);
        OnPaint(paint.get(), paint.dirty());
        return 0;
    }
    case WM_PRINTCLIENT: {
        // Painting into a given device context (PrintWindow, WM_PRINT): the whole client area.
        RECT client{};
        GetClientRect(hwnd_, &client);
        OnPaint(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_SETFONT:
        font_ = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_COMMAND:
        return OnCommand(wParam, lParam);
    case WM_NOTIFY:
        return OnNotify(lParam);
    case WM_DRAWITEM:
        return OnDrawItem(lParam);
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(wParam, lParam);
    case WM_ENDSESSION:
        if (wParam != FALSE)
            OnEndSession();
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SETTINGCHANGE:
    case WM_THEMECHANGED:
        OnSettingChange();
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_ACTIVATE:
        if (OnActivate(LOWORD(wParam) != WA_INACTIVE))
            return 0;
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_SYSCOMMAND:
        if (OnSysCommand(static_cast<UINT>(wParam & 0xFFF0)))
            return 0;
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    default:
        if (message >= WM_APP && message <= 0xBFFF) {
            OnAppMessage(message, wParam, lParam);
            return 0;
        }
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT Window::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (Control* control = Control::fromHandle(reinterpret_cast<HWND>(lParam)))
        control->handleCommand(HIWORD(wParam));
    return 0;
}

LRESULT Window::OnNotify(LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (Control* control = Control::fromHandle(header->hwndFrom))
        return control->handleNotify(*header);
    return 0;
}

LRESULT Window::OnDrawItem(LPARAM lParam) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item->CtlType == ODT_MENU)
        return FALSE;
    Control* control = Control::fromHandle(item->hwndItem);
    if (control == nullptr)
        return FALSE;
    control->handleDrawItem(*item);
    return TRUE;
}

LRESULT Window::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
    if (Control* control = Control::fromHandle(reinterpret_cast<HWND>(lParam)))
        if (HBRUSH brush = control->handleCtlColor(reinterpret_cast<HDC>(wParam)))
            return reinterpret_cast<LRESULT>(brush);
    return DefWindowProcW(hwnd_, WM_CTLCOLORSTATIC, wParam, lParam);
}

// ---- Control

Control::~Control() {
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
}

void Control::createControl(Window& parent, const wchar_t* className, DWORD style, DWORD exStyle,
                            const Bounds& bounds, std::wstring_view text) {
    static int nextId = 100;
    parent_ = &parent;
    const std::wstring caption(text);
    HWND created = CreateWindowExW(exStyle, className, caption.c_str(), WS_CHILD | style, bounds.x,
                                   bounds.y, bounds.width, bounds.height, parent.hwnd(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (created == nullptr)
        throw Error(systemErrorText(GetLastError()));
    hwnd_ = created;
    SetPropW(hwnd_, kControlProperty, this);
    SetWindowSubclass(hwnd_, subclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
    if (parent.font() != nullptr)
        setFont(parent.font());
}

LRESULT CALLBACK Control::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR selfPointer) {
    auto* self = reinterpret_cast<Control*>(selfPointer);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, subclassProc, 0);
        RemovePropW(hwnd, kControlProperty);
        self->hwnd_ = nullptr;
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    bool handled = false;
    self->parent_->guard(
        [&] { handled = self->handleOwnMessage(message, wParam, lParam, result); });
    return handled ? result : DefSubclassProc(hwnd, message, wParam, lParam);
}

Control* Control::fromHandle(HWND hwnd) {
    return hwnd != nullptr ? static_cast<Control*>(GetPropW(hwnd, kControlProperty)) : nullptr;
}

void Control::setFont(HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HFONT Control::font() const {
    return reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
}

std::string Control::text() const {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(hwnd_)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(hwnd_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Control::setText(const std::string& text) {
    SetWindowTextA(hwnd_, text.c_str());
    handleTextChanged();
}

std::wstring Control::wideText() const {
    return windowText(hwnd_);
}

SIZE Control::textExtent() const {
    const std::wstring caption = wideText();
    WindowDc dc(hwnd_);
    SelectedObject selected(dc.get(), font() != nullptr ? static_cast<HGDIOBJ>(font())
                                                        : GetStockObject(SYSTEM_FONT));
    RECT rect{};
    DrawTextW(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_CALCRECT | DT_SINGLELINE);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void Control::setWideText(std::wstring_view text) {
    SetWindowTextW(hwnd_, std::wstring(text).c_str());
    handleTextChanged();
}

} // namespace quorva
