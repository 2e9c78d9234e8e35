#pragma once

// A tab control whose tabs each show one page. The pages are windows of their own, siblings of
// the tab control laid over its display area, so that the controls on a page report to the page.

#include "ui/window.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorva {

// A tab's page: a plain panel that hosts the tab's controls.
class Page final : public Window {
public:
    using Window::Window;
    ~Page() override { destroy(); }
    void create(Window& parent, const Bounds& bounds);
};

class TabControl final : public Control {
public:
    void create(Window& parent, const Bounds& bounds);

    // Adds a tab captioned `caption` and creates `page` over the display area.
    void addPage(Page& page, std::wstring_view caption);
    int pageCount() const { return static_cast<int>(pages_.size()); }
    std::wstring caption(int index) const;

    int activePage() const;
    // Shows the page of that tab, as if the user had clicked the tab.
    void setActivePage(int index);
    void setActivePage(const Page& page);

    // The bounds the tab control needs so that its display area has the given size.
    Bounds boundsForDisplaySize(int width, int height) const;
    // Moves the pages over the display area (after the tab control was moved or sized).
    void layoutPages();

private:
    LRESULT handleNotify(NMHDR& header) override;
    Bounds displayBounds() const;
    void showActivePage();

    std::vector<Page*> pages_;
};

} // namespace quorva
