// The main window's part of the capture: the settling poll's timer, and extraction with the
// job's record for a settled row.

#include "app/main_window.h"
#include "upload/invoice_extraction.h"

namespace quorva {

void MainWindow::wireCaptureHandlers() {
    settlingTimer.onTimer = [this] { onSettlingTick(); };
}

void MainWindow::onSettlingTick() {
    // Off for the whole pass, so that a pass never starts inside another.
    settlingTimer.setEnabled(false);
    heartbeatLabel.setText(SettlingPoll::nextInfoText(heartbeatLabel.text()));
    settlingPoll.pass(
        spoolFolderLabel.text(), [this](int row) { return extractAndRecord(row); },
        [this] { settlingTimer.setEnabled(true); });
}

std::string MainWindow::extractAndRecord(int row) {
    const bool invoice = extractIntoRow(jobTable, row, spoolFolderLabel.text(), files, locale);
    recordJob(row, jobTable.filePath(spoolFolderLabel.text(), row), invoice);
    return {};
}

} // namespace quorva
