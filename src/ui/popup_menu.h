#pragma once

// A popup (context) menu whose items are addressed by index.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorva {

class PopupMenu {
public:
    PopupMenu();
    ~PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    HMENU handle() const { return menu_; }

    // Appends an item and returns its index.
    int addItem(std::wstring_view caption, bool enabled = true);
    int count() const { return static_cast<int>(onClick_.size()); }
    std::wstring caption(int index) const;
    void setCaption(int index, std::wstring_view caption);
    bool enabled(int index) const;
    void setEnabled(int index, bool enabled);
    void setOnClick(int index, std::function<void()> handler);

    // Shows the menu at a point on the screen and runs the handler of the item the user chose.
    // Runs in the caller's message handler, so inside its error boundary.
    void track(HWND owner, POINT screen);
    // What choosing an enabled item does: runs its handler. A disabled item does nothing.
    void click(int index);

private:
    HMENU menu_;
    std::vector<std::function<void()>> onClick_;
};

// One item of a popup menu, by name.
class PopupItem {
public:
    PopupItem(PopupMenu& menu, std::wstring_view caption, bool enabled)
        : menu_(menu), index_(menu.addItem(caption, enabled)) {}

    int index() const { return index_; }
    std::wstring caption() const { return menu_.caption(index_); }
    bool enabled() const { return menu_.enabled(index_); }
    void setEnabled(bool enabled) { menu_.setEnabled(index_, enabled); }
    void setOnClick(std::function<void()> handler) { menu_.setOnClick(index_, std::move(handler)); }

private:
    PopupMenu& menu_;
    int index_;
};

} // namespace quorva
