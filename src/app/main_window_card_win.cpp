// The main window's part of the loyalty card and the invoice view: the hover tracking over the
// job grid and its popup items, the card tab filled from a row, printing the card and opening
// the invoice PDF.

#include "app/main_window.h"
#include "card/card_drawing.h"
#include "card/card_picture.h"
#include "card/card_preview.h"
#include "card/invoice_pdf.h"

namespace quorva {

namespace {

// A row's cells as the card rules read them. Rows are never removed, so a hover row stays
// valid; an index that is not a row is an error rather than an empty card.
RowCells cellsOf(const JobTable& table, int row) {
    return [&table, row](int column) { return table.checkedCell(column, row); };
}

} // namespace

void MainWindow::wireCardHandlers() {
    jobGrid.onMouseMove = [this](int x, int y) { onGridMouseMove(x, y); };
    jobGrid.onCellClick = [this](int column, int row) { onGridCellClick(column, row); };
    jobGrid.onDeselectCell = [this](int column, int row) { onGridDeselectCell(column, row); };
    jobGrid.onSorted = [this] { onGridSorted(); };
    openPdfItem.setOnClick([this] { onOpenPdfItem(); });
    printCardItem.setOnClick([this] { onPrintCardItem(); });
    resendItem.setOnClick([this] { onResendItem(); });
    printCardButton.onClick = [this] { printCard(); };
}

void MainWindow::finishCardPage() {
    cardPicture.setBitmap(loadCardPicture());
    cardLabelFont = makeCardLabelFont();
    for (Label* label :
         {&cardCustomerLabel, &cardChassisLabel, &cardRegistrationLabel, &cardValidityLabel}) {
        label->setFont(cardLabelFont.get());
        label->setColors(kCardLabelColour, kCardLabelBackground);
    }
    printCardButton.create(cardPage, {5, 5, 200, 28}, L"Impression de la carte");
    printCardButton.setVisible(false);
}

void MainWindow::onGridMouseMove(int x, int y) {
    const int row = jobGrid.hitTest({x, y}).row;
    if (row == hoverRow)
        return;
    if (row < 0 || row >= jobTable.rowCount()) {
        // Off the rows: the highlight stays on the last row, its commands are off.
        openPdfItem.setEnabled(false);
        printCardItem.setEnabled(false);
        resendItem.setEnabled(false);
        return;
    }
    jobGrid.setCurrentRow(row);
    jobTable.setMarked(row, true);
    jobTable.setMarked(hoverRow, false);
    hoverRow = row;
    const JobPopupItems items = jobPopupItemsForRow(cellsOf(jobTable, row), cardPrinterName());
    openPdfItem.setEnabled(items.loadPdf);
    printCardItem.setEnabled(items.printCard);
    const auto job = jobStore ? jobStore->find(jobTable.jobKey(row)) : std::nullopt;
    resendItem.setEnabled(job &&
                          (job->state == JobState::Refused || job->state == JobState::Failed));
}

void MainWindow::onGridSorted() {
    // The mark moved with its row; the hover row and the list's selection follow it.
    hoverRow = jobTable.markedRow();
    if (hoverRow >= 0)
        jobGrid.setCurrentRow(hoverRow);
}

void MainWindow::onGridCellClick(int, int row) {
    fillCardLabels(row);
}

void MainWindow::onGridDeselectCell(int, int) {
    printCardButton.setEnabled(true);
}

void MainWindow::fillCardLabels(int row) {
    const CardLabels labels = cardLabelsForRow(cellsOf(jobTable, row), locale, clock);
    cardCustomerLabel.setText(labels.customer);
    cardRegistrationLabel.setText(labels.registration);
    cardChassisLabel.setText(labels.chassis);
    cardValidityLabel.setText(labels.validity);
}

void MainWindow::onPrintCardItem() {
    fillCardLabels(hoverRow);
    printCard();
}

void MainWindow::printCard() {
    if (cardPrinterName().empty())
        return;
    // The user sees the card being printed; the printer gets it drawn on its own page, not
    // copied from the screen.
    tabControl.setActivePage(cardPage);
    RedrawWindow(cardPage.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    cardPrinter.print(cardPrinterName(),
                      {cardCustomerLabel.text(), cardRegistrationLabel.text(),
                       cardChassisLabel.text(), cardValidityLabel.text()},
                      cardPicture.bitmap());
    tabControl.setActivePage(jobsPage);
}

void MainWindow::onOpenPdfItem() {
    if (hoverRow == -1)
        return;
    openInvoicePdf(serverUrl(), locale.wideToAnsi(jobTable.checkedCell(colReportId, hoverRow)),
                   registry, shell);
}

} // namespace quorva
