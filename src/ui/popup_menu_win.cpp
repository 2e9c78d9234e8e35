#include "ui/popup_menu.h"

#include "platform/error.h"
#include "platform/system_error.h"

namespace quorva {

namespace {

// Command identifiers are the item indices plus one: TrackPopupMenu returns 0 for no choice.
UINT commandOf(int index) {
    return static_cast<UINT>(index) + 1;
}

} // namespace

PopupMenu::PopupMenu() : menu_(CreatePopupMenu()) {
    if (menu_ == nullptr)
        throw Error(systemErrorText(GetLastError()));
}

PopupMenu::~PopupMenu() {
    DestroyMenu(menu_);
}

int PopupMenu::addItem(std::wstring_view caption, bool enabled) {
    const int index = count();
    const std::wstring text(caption);
    AppendMenuW(menu_, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), commandOf(index),
                text.c_str());
    onClick_.emplace_back();
    return index;
}

std::wstring PopupMenu::caption(int index) const {
    wchar_t buffer[256] = {};
    GetMenuStringW(menu_, static_cast<UINT>(index), buffer, static_cast<int>(std::size(buffer)),
                   MF_BYPOSITION);
    return buffer;
}

void PopupMenu::setCaption(int index, std::wstring_view caption) {
    const std::wstring text(caption);
    ModifyMenuW(menu_, static_cast<UINT>(index),
                MF_BYPOSITION | MF_STRING | (enabled(index) ? MF_ENABLED : MF_GRAYED),
                commandOf(index), text.c_str());
}

bool PopupMenu::enabled(int index) const {
    const UINT state = GetMenuState(menu_, static_cast<UINT>(index), MF_BYPOSITION);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void PopupMenu::setEnabled(int index, bool enabled) {
    EnableMenuItem(menu_, static_cast<UINT>(index),
                   MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
}

void PopupMenu::setOnClick(int index, std::function<void()> handler) {
    onClick_.at(static_cast<size_t>(index)) = std::move(handler);
}

void PopupMenu::track(HWND owner, POINT screen) {
    // The owner must be the foreground window for the menu to close when the user clicks away.
    SetForegroundWindow(owner);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                         screen.x, screen.y, 0, owner, nullptr));
    if (chosen != 0)
        click(static_cast<int>(chosen) - 1);
}

void PopupMenu::click(int index) {
    if (index < 0 || index >= count() || !enabled(index))
        return;
    if (const auto& handler = onClick_[static_cast<size_t>(index)])
        handler();
}

} // namespace quorva
