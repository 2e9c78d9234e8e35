#include "ui/controls.h"

#include "platform/error.h"

#include <commctrl.h>

namespace quorva {

// ---- Button

void Button::create(Window& parent, const Bounds& bounds, std::wstring_view caption) {
    createControl(parent, L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, bounds, caption);
}

void Button::handleCommand(WORD code) {
    if (code == BN_CLICKED && onClick)
        onClick();
}

// ---- Edit

void Edit::create(Window& parent, const Bounds& bounds) {
    createControl(parent, L"EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                  bounds);
}

void Edit::handleCommand(WORD code) {
    if (code == EN_KILLFOCUS && onExit)
        onExit();
    else if (code == EN_CHANGE && onChange)
        onChange();
}

bool Edit::handleOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const bool enter = wParam == VK_RETURN && onEnter;
    if (message == WM_GETDLGCODE && enter) {
        // The dialog keys' handling would take Enter for a default button the window lacks.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key != nullptr && key->message == WM_KEYDOWN) {
            result = DLGC_WANTALLKEYS | DefSubclassProc(hwnd(), message, wParam, lParam);
            return true;
        }
    }
    if (message == WM_KEYDOWN && enter) {
        onEnter();
        result = 0;
        return true;
    }
    // The character of that key would only beep in a single-line edit.
    if (message == WM_CHAR && wParam == L'\r' && onEnter) {
        result = 0;
        return true;
    }
    return false;
}

// ---- Label

void Label::create(Window& parent, const Bounds& bounds, std::wstring_view caption, bool autoSize) {
    autoSize_ = autoSize;
    // No prefix: names and paths may hold an ampersand.
    createControl(parent, L"STATIC", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, bounds,
                  caption);
    handleTextChanged();
}

void Label::createCaption(Window& parent, const Bounds& bounds, std::wstring_view caption) {
    createControl(parent, L"STATIC", WS_VISIBLE | SS_LEFTNOWORDWRAP, 0, bounds, caption);
}

void Label::setColors(COLORREF text, COLORREF background) {
    textColor_ = text;
    backgroundColor_ = background;
    backgroundBrush_ = Brush(CreateSolidBrush(background));
    InvalidateRect(hwnd(), nullptr, TRUE);
}

HBRUSH Label::handleCtlColor(HDC dc) {
    if (!textColor_)
        return nullptr;
    SetTextColor(dc, *textColor_);
    SetBkColor(dc, backgroundColor_);
    return backgroundBrush_.get();
}

void Label::handleTextChanged() {
    if (!autoSize_ || hwnd() == nullptr)
        return;
    const std::wstring caption = wideText();
    SIZE size{};
    if (!caption.empty()) {
        WindowDc dc(hwnd());
        SelectedObject font(dc.get(), this->font() != nullptr ? static_cast<HGDIOBJ>(this->font())
                                                              : GetStockObject(SYSTEM_FONT));
        GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &size);
    }
    SetWindowPos(hwnd(), nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

// ---- ListBox

void ListBox::create(Window& parent, const Bounds& bounds, Kind kind, int itemHeight) {
    DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    if (kind == Kind::OwnerDrawFixed)
        style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
    createControl(parent, L"LISTBOX", style, WS_EX_CLIENTEDGE, bounds);
    if (kind == Kind::OwnerDrawFixed)
        setItemHeight(itemHeight);
}

int ListBox::count() const {
    return static_cast<int>(SendMessageW(hwnd(), LB_GETCOUNT, 0, 0));
}

void ListBox::add(const std::string& text) {
    insert(-1, text);
}

void ListBox::insert(int index, const std::string& text) {
    SendMessageA(hwnd(), LB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

void ListBox::remove(int index) {
    SendMessageA(hwnd(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void ListBox::clear() {
    SendMessageW(hwnd(), LB_RESETCONTENT, 0, 0);
}

std::string ListBox::item(int index) const {
    if (index < 0 || index >= count())
        throw Error("Indice de liste hors limites (" + std::to_string(index) + ")");
    const LRESULT length = SendMessageA(hwnd(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessageA(hwnd(), LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

int ListBox::itemIndex() const {
    return static_cast<int>(SendMessageW(hwnd(), LB_GETCURSEL, 0, 0));
}

void ListBox::setItemIndex(int index) {
    SendMessageW(hwnd(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ListBox::itemHeight() const {
    return static_cast<int>(SendMessageW(hwnd(), LB_GETITEMHEIGHT, 0, 0));
}

void ListBox::setItemHeight(int height) {
    SendMessageW(hwnd(), LB_SETITEMHEIGHT, 0, height);
}

void ListBox::handleCommand(WORD code) {
    if (code == LBN_SELCHANGE && onClick)
        onClick();
    else if (code == LBN_DBLCLK && onDblClick)
        onDblClick();
}

void ListBox::handleDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1))
        return;
    if (item.itemAction == ODA_FOCUS) {
        DrawFocusRect(item.hDC, &item.rcItem);
        return;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    ListBoxItemPaint paint{item.hDC,
                           item.rcItem,
                           static_cast<int>(item.itemID),
                           selected,
                           GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW),
                           GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT),
                           this->item(static_cast<int>(item.itemID))};
    if (onDrawItem)
        onDrawItem(paint);
    const std::string& text = paint.text;
    Brush background(CreateSolidBrush(paint.background));
    FillRect(item.hDC, &paint.rect, background.get());
    SetBkColor(item.hDC, paint.background);
    SetTextColor(item.hDC, paint.foreground);
    TextOutA(item.hDC, paint.rect.left, paint.rect.top, text.c_str(),
             static_cast<int>(text.size()));
    if ((item.itemState & ODS_FOCUS) != 0)
        DrawFocusRect(item.hDC, &item.rcItem);
}

} // namespace quorva
