#pragma once

// The program's icon in the notification area: its tooltip, its balloon notifications, and its
// mouse messages, which come to the owner window as the callback message (lParam: the mouse
// message). Where the shell has no notification area the icon is simply absent.

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>

namespace quorva {

class TrayIcon {
public:
    TrayIcon() = default;
    ~TrayIcon() { remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void add(HWND owner, UINT callbackMessage, HICON icon, std::wstring_view tip);
    void remove();
    // Whether the shell shows the icon.
    bool shown() const { return shown_; }

    const std::wstring& tip() const { return tip_; }
    void setTip(std::wstring_view tip);
    void showBalloon(std::wstring_view title, std::wstring_view text);

private:
    NOTIFYICONDATAW data(UINT flags) const;

    HWND owner_ = nullptr;
    bool shown_ = false;
    std::wstring tip_;
};

} // namespace quorva
