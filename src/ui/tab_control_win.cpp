#include "ui/tab_control.h"

#include <commctrl.h>

namespace quorva {

void Page::create(Window& parent, const Bounds& bounds) {
    setFont(parent.font());
    Window::create(L"QuorvaPage", parent.hwnd(), WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                   WS_EX_CONTROLPARENT, bounds, {});
}

void TabControl::create(Window& parent, const Bounds& bounds) {
    createControl(parent, WC_TABCONTROLW, WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, bounds);
}

void TabControl::addPage(Page& page, std::wstring_view caption) {
    std::wstring text(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(hwnd(), TCM_INSERTITEMW, pages_.size(), reinterpret_cast<LPARAM>(&item));
    page.create(parent(), displayBounds());
    // Above the tab control, which would otherwise paint over it.
    SetWindowPos(page.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    pages_.push_back(&page);
    showActivePage();
}

std::wstring TabControl::caption(int index) const {
    wchar_t buffer[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    SendMessageW(hwnd(), TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return item.pszText;
}

int TabControl::activePage() const {
    return static_cast<int>(SendMessageW(hwnd(), TCM_GETCURSEL, 0, 0));
}

void TabControl::setActivePage(int index) {
    SendMessageW(hwnd(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    showActivePage();
}

void TabControl::setActivePage(const Page& page) {
    for (size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i] == &page)
            setActivePage(static_cast<int>(i));
}

Bounds TabControl::displayBounds() const {
    const Bounds tab = bounds();
    RECT rect{0, 0, tab.width, tab.height};
    SendMessageW(hwnd(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rect));
    return {tab.x + rect.left, tab.y + rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

Bounds TabControl::boundsForDisplaySize(int width, int height) const {
    const Bounds tab = bounds();
    RECT rect{0, 0, width, height};
    SendMessageW(hwnd(), TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
    return {tab.x, tab.y, rect.right - rect.left, rect.bottom - rect.top};
}

void TabControl::layoutPages() {
    const Bounds area = displayBounds();
    for (Page* page : pages_)
        SetWindowPos(page->hwnd(), nullptr, area.x, area.y, area.width, area.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TabControl::handleNotify(NMHDR& header) {
    if (header.code == TCN_SELCHANGE)
        showActivePage();
    return 0;
}

void TabControl::showActivePage() {
    const int active = activePage();
    for (size_t i = 0; i < pages_.size(); ++i)
        ShowWindow(pages_[i]->hwnd(), static_cast<int>(i) == active ? SW_SHOW : SW_HIDE);
}

} // namespace quorva
