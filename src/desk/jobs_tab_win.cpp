#include "desk/jobs_tab.h"

#include "capture/settling_poll.h"
#include "card/card_preview.h"

#include <algorithm>

namespace quorva {

JobsTab::JobsTab(MessageBoxes& boxes, const JobList& jobs, const Locale& locale, Actions actions)
    : jobs_(jobs), actions_(std::move(actions)), page_(boxes), grid_(jobs, locale),
      openPdfItem_(popup_, L"Charger le fichier pdf de la facture", false),
      printCardItem_(popup_, L"Imprimer la carte de fidélité", false),
      sendAgainItem_(popup_, L"Renvoyer la facture", false) {
    grid_.onSelectionChanged = [this](JobId id, bool byKeyboard) {
        onSelectionChanged(id, byKeyboard);
    };
    grid_.onPointerOffRows = [this] { enableItems(kNoJob); };
    grid_.onJobClick = [this](JobId id) { actions_.onShowCard(id); };
    grid_.onDeselect = [this] { actions_.onDeselect(); };
    grid_.onEnter = [this](JobId id) {
        if (!jobs_.at(id).reportId.empty())
            actions_.onOpenPdf(id);
    };
    search_.onChange = [this] { actions_.onSearch(search_.wideText()); };
    openPdfItem_.setOnClick([this] { openPdf(); });
    printCardItem_.setOnClick([this] { printCard(); });
    sendAgainItem_.setOnClick([this] { sendAgain(); });
}

void JobsTab::create() {
    searchCaption_.createCaption(page_, {}, L"&Rechercher");
    search_.create(page_, {});
    grid_.create(page_, {});
    status_.create(page_, {});
    heartbeat_.create(page_, {}, L"..");
    grid_.setPopupMenu(&popup_);
}

void JobsTab::layout(int width, int height, const Layout& layout) {
    const int margin = layout(6);
    const int gap = layout(4);
    const int editHeight = layout.editHeight();
    const int lineHeight = layout.labelHeight();
    const int captionWidth = searchCaption_.textExtent().cx + gap;
    searchCaption_.setBounds(
        {margin, margin + (editHeight - lineHeight) / 2, captionWidth, lineHeight});
    const int searchLeft = margin + captionWidth + gap;
    search_.setBounds(
        {searchLeft, margin, std::min(layout(300), width - margin - searchLeft), editHeight});
    const int gridTop = margin + editHeight + gap;
    const int statusTop = height - margin - lineHeight;
    grid_.setBounds({margin, gridTop, width - 2 * margin, statusTop - gap - gridTop});
    // The poll's heartbeat, small in the bottom-right corner.
    const int heartbeatWidth = layout(24);
    heartbeat_.setBounds({width - margin - heartbeatWidth, statusTop, heartbeatWidth, lineHeight});
    status_.setBounds({margin, statusTop, width - 3 * margin - heartbeatWidth, lineHeight});
}

void JobsTab::showCaptureStop(const std::string& text) {
    captureStop_ = text;
    showStatusLine();
}

void JobsTab::showServerHealth(const std::string& text) {
    serverHealth_ = text;
    showStatusLine();
}

void JobsTab::showStatusLine() {
    status_.setText(captureStop_.empty() ? serverHealth_ : captureStop_);
}

void JobsTab::beat() {
    heartbeat_.setText(SettlingPoll::nextInfoText(heartbeat_.text()));
}

void JobsTab::onSelectionChanged(JobId id, bool byKeyboard) {
    enableItems(id);
    if (byKeyboard)
        actions_.onShowCard(id);
}

void JobsTab::enableItems(JobId id) {
    const bool isJob = jobs_.contains(id);
    const JobPopupItems items =
        isJob ? jobPopupItemsFor(jobs_.at(id), actions_.cardPrinter()) : JobPopupItems{};
    openPdfItem_.setEnabled(items.loadPdf);
    printCardItem_.setEnabled(items.printCard);
    sendAgainItem_.setEnabled(isJob && actions_.canSendAgain(id));
}

void JobsTab::openPdf() {
    if (grid_.selectedJob() != kNoJob)
        actions_.onOpenPdf(grid_.selectedJob());
}

void JobsTab::printCard() {
    if (grid_.selectedJob() != kNoJob)
        actions_.onPrintCard(grid_.selectedJob());
}

void JobsTab::sendAgain() {
    const JobId id = grid_.selectedJob();
    if (id == kNoJob)
        return;
    actions_.onSendAgain(id);
    enableItems(id);
}

} // namespace quorva
