// The main window's part of the capture: the settling poll's timer, and extraction with upload
// for a settled row.

#include "app/main_window.h"
#include "upload/invoice_extraction.h"

namespace quorva {

void MainWindow::wireCaptureHandlers() {
    settlingTimer.onTimer = [this] { onSettlingTick(); };
}

void MainWindow::onSettlingTick() {
    // Off for the whole pass, so that a long upload never lets a pass start inside another.
    settlingTimer.setEnabled(false);
    heartbeatLabel.setText(SettlingPoll::nextInfoText(heartbeatLabel.text()));
    settlingPoll.pass(
        spoolFolderLabel.text(), [this](int row) { return extractAndUpload(row); },
        [this] { settlingTimer.setEnabled(true); });
}

std::string MainWindow::extractAndUpload(int row) {
    return quorva::extractRowAndUpload(
        jobTable, row, spoolFolderLabel.text(), files, locale,
        [this, row](const std::string& path) {
            const std::string fileName = locale.wideToAnsi(jobTable.cell(colFileName, row));
            return reportUpload.upload(path, fileName, serverUrl(), siteName());
        });
}

} // namespace quorva
