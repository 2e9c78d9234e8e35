#pragma once

// The simple controls: push button, single-line edit, label and list box.

#include "ui/gdi.h"
#include "ui/window.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorva {

class Button final : public Control {
public:
    void create(Window& parent, const Bounds& bounds, std::wstring_view caption);
    std::function<void()> onClick;

private:
    void handleCommand(WORD code) override;
};

// A single-line edit. onExit runs when the keyboard focus leaves it, onEnter when the user
// presses Enter in it, onChange when its text changed.
class Edit final : public Control {
public:
    void create(Window& parent, const Bounds& bounds);
    std::function<void()> onExit;
    std::function<void()> onEnter;
    std::function<void()> onChange;

private:
    void handleCommand(WORD code) override;
    bool handleOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// A one-line static text. With autoSize, the label takes the size of its text (no size at all
// when the text is empty), so an empty label laid over a picture hides nothing.
class Label final : public Control {
public:
    void create(Window& parent, const Bounds& bounds, std::wstring_view caption = {},
                bool autoSize = false);
    // A caption for the control created after it: "&" marks the letter that, with Alt, moves
    // the focus to that control.
    void createCaption(Window& parent, const Bounds& bounds, std::wstring_view caption);
    // Text and background colours instead of the system's.
    void setColors(COLORREF text, COLORREF background);

private:
    HBRUSH handleCtlColor(HDC dc) override;
    void handleTextChanged() override;

    bool autoSize_ = false;
    std::optional<COLORREF> textColor_;
    COLORREF backgroundColor_ = 0;
    Brush backgroundBrush_;
};

// How one item of an owner-drawn list box is painted. The onDrawItem handler may change the
// colours; the list then fills the item with `background` and writes its text at the item's
// top-left corner in `foreground`.
struct ListBoxItemPaint {
    HDC dc;
    RECT rect;
    int index;
    bool selected;
    COLORREF background;
    COLORREF foreground;
    std::string text; // the item's text, as written
};

class ListBox final : public Control {
public:
    enum class Kind { Plain, OwnerDrawFixed };

    void create(Window& parent, const Bounds& bounds, Kind kind = Kind::Plain, int itemHeight = 16);

    int count() const;
    void add(const std::string& text);
    void insert(int index, const std::string& text);
    void remove(int index);
    void clear();
    // Throws Error "Indice de liste hors limites (<index>)" for an index out of range.
    std::string item(int index) const;
    int itemIndex() const; // -1 when no item is selected
    void setItemIndex(int index);
    int itemHeight() const;
    void setItemHeight(int height);

    std::function<void()> onClick;    // the selection changed
    std::function<void()> onDblClick; // an item was double-clicked
    std::function<void(ListBoxItemPaint&)> onDrawItem;

private:
    void handleCommand(WORD code) override;
    void handleDrawItem(const DRAWITEMSTRUCT& item) override;
};

} // namespace quorva
