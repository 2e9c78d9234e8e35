#include "ui/tray_icon.h"

#include <algorithm>

namespace quorva {

namespace {

template <size_t N> void copyInto(wchar_t (&field)[N], std::wstring_view text) {
    const size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.data(), length, field);
    field[length] = L'\0';
}

} // namespace

NOTIFYICONDATAW TrayIcon::data(UINT flags) const {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = owner_;
    icon.uID = 1;
    icon.uFlags = flags;
    return icon;
}

void TrayIcon::add(HWND owner, UINT callbackMessage, HICON icon, std::wstring_view tip) {
    owner_ = owner;
    tip_ = tip;
    NOTIFYICONDATAW added = data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    added.uCallbackMessage = callbackMessage;
    added.hIcon = icon;
    copyInto(added.szTip, tip_);
    shown_ = Shell_NotifyIconW(NIM_ADD, &added) != FALSE;
}

void TrayIcon::remove() {
    if (!shown_)
        return;
    NOTIFYICONDATAW removed = data(0);
    Shell_NotifyIconW(NIM_DELETE, &removed);
    shown_ = false;
}

void TrayIcon::setTip(std::wstring_view tip) {
    if (tip == tip_)
        return;
    tip_ = tip;
    if (!shown_)
        return;
    NOTIFYICONDATAW changed = data(NIF_TIP);
    copyInto(changed.szTip, tip_);
    Shell_NotifyIconW(NIM_MODIFY, &changed);
}

void TrayIcon::showBalloon(std::wstring_view title, std::wstring_view text) {
    if (!shown_)
        return;
    NOTIFYICONDATAW balloon = data(NIF_INFO);
    copyInto(balloon.szInfoTitle, title);
    copyInto(balloon.szInfo, text);
    balloon.dwInfoFlags = NIIF_WARNING;
    Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

} // namespace quorva
