// The settings tab's printers: the list of installed printers drawn by their keep-printed-jobs
// attribute, switching that attribute, restarting the spooler, and copying a printer's name into
// the card-printer setting. Nothing is cached: the registry holds the only copy of each value.

#include "app/main_window.h"

#include "platform/error.h"
#include "printers/printer_attributes.h"

#include <windows.h>

namespace quorva {

namespace {

COLORREF colorOf(const Rgb& rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

void showKeepJobsView(MainWindow& form, const KeepJobsView& view) {
    form.attributesLabel.setText(view.label);
    form.keepJobsButton.setEnabled(view.keepEnabled);
    form.stopKeepingJobsButton.setEnabled(view.stopEnabled);
}

std::string selectedPrinter(const MainWindow& form) {
    return form.printerList.item(form.printerList.itemIndex());
}

// Read, change, write, then show what is stored now.
void changeSelectedPrinter(MainWindow& form, KeepJobsChange change) {
    changeKeepPrintedJobs(form.registry, selectedPrinter(form), change);
    InvalidateRect(form.printerList.hwnd(), nullptr, TRUE);
    UpdateWindow(form.printerList.hwnd());
    form.onPrinterSelected();
}

} // namespace

void MainWindow::wirePrinterHandlers() {
    printerList.onClick = [this] { onPrinterSelected(); };
    printerList.onDblClick = [this] { onPrinterDoubleClick(); };
    printerList.onDrawItem = [this](ListBoxItemPaint& paint) { drawPrinterItem(paint); };
    keepJobsButton.onClick = [this] { onKeepJobs(); };
    stopKeepingJobsButton.onClick = [this] { onStopKeepingJobs(); };
    restartSpoolerButton.onClick = [this] { onRestartSpooler(); };
    chooseCardPrinterButton.onClick = [this] { onChooseCardPrinter(); };
}

void MainWindow::onPrinterSelected() {
    const std::string printer = selectedPrinter(*this);
    // Until the read succeeds the tab claims nothing: a value of the wrong type ends the handler,
    // and the previous printer's state must not stay on show for this one.
    showKeepJobsView(*this, keepJobsViewFor(std::nullopt));
    showKeepJobsView(*this, keepJobsViewFor(readPrinterValue(registry, printer, kAttributesValue)));
    chooseCardPrinterButton.setEnabled(true);
}

void MainWindow::drawPrinterItem(ListBoxItemPaint& paint) {
    const std::string printer = printerList.item(paint.index);
    std::optional<std::int64_t> attributes;
    try {
        attributes = readPrinterValue(registry, printer, kAttributesValue);
    } catch (const Error&) {
        // A value of the wrong type is reported when the printer is selected or changed. From
        // painting, the box would come back with every repaint (the box itself causes some) and
        // the item would stay blank; the item keeps the list's colours instead.
    }
    if (const auto colours = keepJobsItemColours(attributes)) {
        paint.background = colorOf(colours->fill);
        paint.foreground = colorOf(colours->text);
    }
}

void MainWindow::onPrinterDoubleClick() {
    changeSelectedPrinter(*this, KeepJobsChange::Toggle);
}

void MainWindow::onKeepJobs() {
    changeSelectedPrinter(*this, KeepJobsChange::Keep);
}

void MainWindow::onStopKeepingJobs() {
    changeSelectedPrinter(*this, KeepJobsChange::Stop);
}

void MainWindow::onRestartSpooler() {
    restartSpooler(shell);
}

void MainWindow::onChooseCardPrinter() {
    cardPrinterEdit.setText(selectedPrinter(*this));
    onCardPrinterEdited();
}

} // namespace quorva
