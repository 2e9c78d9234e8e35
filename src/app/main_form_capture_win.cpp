// The main window's part of the capture: the settling poll's timer, and extraction with upload
// for a settled row.

#include "app/main_form.h"
#include "upload/invoice_extraction.h"

namespace quorva {

void TForm1::wireCaptureHandlers() {
    Timer1.onTimer = [this] { Timer1Timer(); };
}

void TForm1::Timer1Timer() {
    // Off for the whole pass, so that a long upload never lets a pass start inside another.
    Timer1.setEnabled(false);
    lbInfoTimer.setText(SettlingPoll::nextInfoText(lbInfoTimer.text()));
    settlingPoll.pass(
        lbPath.text(), [this](int row) { return GetDataSpooler(row); },
        [this] { Timer1.setEnabled(true); });
}

std::string TForm1::GetDataSpooler(int row) {
    return quorva::GetDataSpooler(
        jobTable, row, lbPath.text(), files, locale, [this, row](const std::string& path) {
            const std::string fileName = locale.wideToAnsi(jobTable.cell(colFileName, row));
            return reportUpload.upload(path, fileName, serverUrl(), siteName());
        });
}

} // namespace quorva
