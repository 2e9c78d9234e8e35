#include "app/jobs_tab.h"

#include "capture/settling_poll.h"
#include "card/card_preview.h"

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
    grid_.onJobClick = [this](JobId id) { actions_.showCard(id); };
    grid_.onDeselect = [this] { actions_.deselected(); };
    openPdfItem_.setOnClick([this] { openPdf(); });
    printCardItem_.setOnClick([this] { printCard(); });
    sendAgainItem_.setOnClick([this] { sendAgain(); });
}

void JobsTab::create(int width, int height) {
    constexpr int kInfoHeight = 16;
    grid_.create(page_, {6, 6, width - 12, height - 12 - kInfoHeight - 4});
    status_.create(page_, {6, height - 6 - kInfoHeight, width - 48, kInfoHeight});
    // The poll's heartbeat, small in the bottom-right corner.
    heartbeat_.create(page_, {width - 30, height - 6 - kInfoHeight, 24, kInfoHeight}, L"..");
    grid_.setPopupMenu(&popup_);
}

void JobsTab::beat() {
    heartbeat_.setText(SettlingPoll::nextInfoText(heartbeat_.text()));
}

void JobsTab::onSelectionChanged(JobId id, bool byKeyboard) {
    enableItems(id);
    if (byKeyboard)
        actions_.showCard(id);
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
        actions_.openPdf(grid_.selectedJob());
}

void JobsTab::printCard() {
    if (grid_.selectedJob() != kNoJob)
        actions_.printCard(grid_.selectedJob());
}

void JobsTab::sendAgain() {
    const JobId id = grid_.selectedJob();
    if (id == kNoJob)
        return;
    actions_.sendAgain(id);
    enableItems(id);
}

} // namespace quorva
