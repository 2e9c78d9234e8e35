// The main window's part of the loyalty card and the invoice view: the hover tracking over the
// job grid and its popup items, the card tab filled from a row, printing the card and opening
// the invoice PDF.

#include "app/main_form.h"
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

void TForm1::wireCardHandlers() {
    ngListJobs.onMouseMove = [this](int x, int y) { ngListJobsMouseMove(x, y); };
    ngListJobs.onCellClick = [this](int column, int row) { ngListJobsCellClick(column, row); };
    ngListJobs.onDeselectCell = [this](int column, int row) {
        ngListJobsDeselectCell(column, row);
    };
    PopLoadPDF.setOnClick([this] { PopLoadPDFClick(); });
    popPrintCarteFidelite.setOnClick([this] { popPrintCarteFideliteClick(); });
    Button1.onClick = [this] { Button1Click(); };
}

void TForm1::finishCardPage() {
    Image1.setBitmap(loadCardPicture());
    cardLabelFont = makeCardLabelFont();
    for (Label* label : {&lbcNomClient, &lbcChassis, &lbcImmat, &lbcValidite}) {
        label->setFont(cardLabelFont.get());
        label->setColors(kCardLabelColour, kCardLabelBackground);
    }
    Button1.create(TabSheet4, {5, 5, 200, 28}, L"Impression de la carte");
    Button1.setVisible(false);
}

void TForm1::ngListJobsMouseMove(int x, int y) {
    const int row = ngListJobs.hitTest({x, y}).row;
    if (row == hoverRow)
        return;
    if (row < 0 || row >= jobTable.rowCount()) {
        // Off the rows: the highlight stays on the last row, its commands are off.
        PopLoadPDF.setEnabled(false);
        popPrintCarteFidelite.setEnabled(false);
        return;
    }
    ngListJobs.setCurrentRow(row);
    jobTable.setMarked(row, true);
    jobTable.setMarked(hoverRow, false);
    hoverRow = row;
    const JobPopupItems items = jobPopupItemsForRow(cellsOf(jobTable, row), cardPrinterName());
    PopLoadPDF.setEnabled(items.loadPdf);
    popPrintCarteFidelite.setEnabled(items.printCard);
}

void TForm1::ngListJobsCellClick(int, int row) {
    SetSelection(row);
}

void TForm1::ngListJobsDeselectCell(int, int) {
    Button1.setEnabled(true);
}

void TForm1::SetSelection(int row) {
    const CardLabels labels = cardLabelsForRow(cellsOf(jobTable, row), locale, clock);
    lbcNomClient.setText(labels.customer);
    lbcImmat.setText(labels.registration);
    lbcChassis.setText(labels.chassis);
    lbcValidite.setText(labels.validity);
}

void TForm1::popPrintCarteFideliteClick() {
    SetSelection(hoverRow);
    Button1Click();
}

void TForm1::Button1Click() {
    if (cardPrinterName().empty())
        return;
    // The user sees the card being printed; the printer gets it drawn on its own page, not
    // copied from the screen.
    PageControl1.setActivePage(TabSheet4);
    RedrawWindow(TabSheet4.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    cardPrinter.print(cardPrinterName(),
                      {lbcNomClient.text(), lbcImmat.text(), lbcChassis.text(), lbcValidite.text()},
                      Image1.bitmap());
    PageControl1.setActivePage(TabSheet2);
}

void TForm1::PopLoadPDFClick() {
    if (hoverRow == -1)
        return;
    openInvoicePdf(serverUrl(), locale.wideToAnsi(jobTable.checkedCell(colReportId, hoverRow)),
                   registry, shell);
}

} // namespace quorva
