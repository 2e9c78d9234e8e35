#include "desk/desk_tray_win.h"

namespace quorva {

DeskTray::DeskTray(std::function<void()> onOpen, std::function<void()> onQuit)
    : onOpen_(std::move(onOpen)) {
    menu_.addItem(L"Ouvrir Quorva");
    menu_.addItem(L"Quitter");
    menu_.setOnClick(0, onOpen_);
    menu_.setOnClick(1, std::move(onQuit));
}

void DeskTray::add(HWND window, UINT callbackMessage) {
    window_ = window;
    icon_.add(window, callbackMessage, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)),
              L"Quorva");
}

void DeskTray::handleMouse(UINT mouseMessage) {
    if (mouseMessage == WM_LBUTTONUP || mouseMessage == WM_LBUTTONDBLCLK) {
        onOpen_();
    } else if (mouseMessage == WM_RBUTTONUP || mouseMessage == WM_CONTEXTMENU) {
        POINT cursor{};
        GetCursorPos(&cursor);
        // The menu closes when the user clicks elsewhere only if its owner is in front.
        SetForegroundWindow(window_);
        menu_.track(window_, cursor);
    }
}

} // namespace quorva
