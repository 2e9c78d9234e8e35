#pragma once

// The "Spouleur" tab: the watched folder and the events of capture, the newest on top.

#include "ui/controls.h"
#include "ui/layout.h"
#include "ui/tab_control.h"

#include <string>

namespace quorva {

class SpoolTab {
public:
    static constexpr int kMaxEvents = 2000;

    explicit SpoolTab(MessageBoxes& boxes) : page_(boxes) {}

    Page& page() { return page_; }
    void create();
    void layout(int width, int height, const Layout& layout);

    std::string folder() const { return folder_.text(); }
    void setFolder(const std::string& folder) { folder_.setText(folder); }
    // The newest on top; past kMaxEvents lines the oldest goes (the daily log keeps them all).
    void addEvent(const std::string& line);
    void clearEvents() { events_.clear(); }
    const ListBox& events() const { return events_; }

private:
    Page page_;
    Label folderCaption_;
    Label folder_;
    Label eventsCaption_;
    ListBox events_;
};

} // namespace quorva
