#pragma once

// The desk in the notification area: its icon, and the icon's menu ("Ouvrir Quorva", "Quitter").
// A click on the icon opens the window; a right click shows the menu.

#include "ui/popup_menu.h"
#include "ui/tray_icon.h"

#include <windows.h>

#include <functional>

namespace quorva {

class DeskTray {
public:
    DeskTray(std::function<void()> onOpen, std::function<void()> onQuit);

    // The icon's mouse messages come to the window as callbackMessage.
    void add(HWND window, UINT callbackMessage);
    void remove() { icon_.remove(); }
    // One of the icon's mouse messages.
    void handleMouse(UINT mouseMessage);

    TrayIcon& icon() { return icon_; }
    const TrayIcon& icon() const { return icon_; }
    PopupMenu& menu() { return menu_; }

private:
    const std::function<void()> onOpen_;
    HWND window_ = nullptr;
    TrayIcon icon_;
    PopupMenu menu_;
};

} // namespace quorva
