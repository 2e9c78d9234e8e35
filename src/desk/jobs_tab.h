#pragma once

// The "Suivi des Impressions" tab: the search field, the job grid, the status line under it, the
// poll's heartbeat, and the grid's popup menu, whose items act on the grid's selected job.

#include "capture/job_list.h"
#include "ui/controls.h"
#include "ui/job_grid.h"
#include "ui/layout.h"
#include "ui/popup_menu.h"
#include "ui/tab_control.h"

#include <functional>
#include <string>

namespace quorva {

class JobsTab {
public:
    // What the tab's commands do, each on the selected job, and what the tab asks of the desk.
    struct Actions {
        std::function<void(JobId)> onOpenPdf;
        std::function<void(JobId)> onPrintCard;
        std::function<void(JobId)> onSendAgain;
        // The card tab shows the job (a click on its row, or the keyboard's focus on it).
        std::function<void(JobId)> onShowCard;
        // The list's selection left a row.
        std::function<void()> onDeselect;
        // The search field's text changed: the grid shows the jobs found, or the list again
        // when the text is empty.
        std::function<void(const std::wstring&)> onSearch;
        std::function<bool(JobId)> canSendAgain;
        // The card printer's name: without one, no card is printed.
        std::function<std::string()> cardPrinter;
    };

    JobsTab(MessageBoxes& boxes, const JobList& jobs, const Locale& locale, Actions actions);

    Page& page() { return page_; }
    void create();
    void layout(int width, int height, const Layout& layout);

    JobGrid& grid() { return grid_; }
    const PopupMenu& popup() const { return popup_; }
    const Label& statusLine() const { return status_; }
    const Label& heartbeat() const { return heartbeat_; }
    const Label& searchCaption() const { return searchCaption_; }
    Edit& searchField() { return search_; }

    // What keeps capture from working; empty while it works. It takes precedence over the
    // server's health on the status line.
    void showCaptureStop(const std::string& text);
    void showServerHealth(const std::string& text);
    // The poll ran a pass: ".." and "..." alternate.
    void beat();

    // The popup's commands, for the selected job.
    void openPdf();
    void printCard();
    void sendAgain();
    // Whether each popup item is enabled now.
    bool canOpenPdf() const { return openPdfItem_.enabled(); }
    bool canPrintCard() const { return printCardItem_.enabled(); }
    bool canSendAgain() const { return sendAgainItem_.enabled(); }

private:
    void onSelectionChanged(JobId id, bool byKeyboard);
    void enableItems(JobId id);
    void showStatusLine();

    const JobList& jobs_;
    Actions actions_;
    Page page_;
    Label searchCaption_;
    Edit search_;
    JobGrid grid_;
    std::string captureStop_;
    std::string serverHealth_;
    Label status_;
    Label heartbeat_;
    PopupMenu popup_;
    PopupItem openPdfItem_;
    PopupItem printCardItem_;
    PopupItem sendAgainItem_;
};

} // namespace quorva
