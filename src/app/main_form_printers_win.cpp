// The settings tab's printers: the list of installed printers drawn by their keep-printed-jobs
// attribute, switching that attribute, restarting the spooler, and copying a printer's name into
// the card-printer setting. Nothing is cached: the registry holds the only copy of each value.

#include "app/main_form.h"

#include "platform/error.h"
#include "printers/printer_attributes.h"

#include <windows.h>

namespace quorva {

namespace {

COLORREF colorOf(const Rgb& rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

void showKeepJobsView(TForm1& form, const KeepJobsView& view) {
    form.Label1.setText(view.label);
    form.BtnKeepJobs.setEnabled(view.keepEnabled);
    form.BtnStopKeepJobs.setEnabled(view.stopEnabled);
}

std::string selectedPrinter(const TForm1& form) {
    return form.ListBox1.item(form.ListBox1.itemIndex());
}

// Read, change, write, then show what is stored now.
void changeSelectedPrinter(TForm1& form, KeepJobsChange change) {
    changeKeepPrintedJobs(form.registry, selectedPrinter(form), change);
    InvalidateRect(form.ListBox1.hwnd(), nullptr, TRUE);
    UpdateWindow(form.ListBox1.hwnd());
    form.ListBox1Click();
}

} // namespace

void TForm1::wirePrinterHandlers() {
    ListBox1.onClick = [this] { ListBox1Click(); };
    ListBox1.onDblClick = [this] { ListBox1DblClick(); };
    ListBox1.onDrawItem = [this](ListBoxItemPaint& paint) { ListBox1DrawItem(paint); };
    BtnKeepJobs.onClick = [this] { BtnKeepJobsClick(); };
    BtnStopKeepJobs.onClick = [this] { BtnStopKeepJobsClick(); };
    BtnRestartSpooler.onClick = [this] { BtnRestartSpoolerClick(); };
    BtnSelCardPrinter.onClick = [this] { BtnSelCardPrinterClick(); };
}

void TForm1::ListBox1Click() {
    const std::string printer = selectedPrinter(*this);
    // Until the read succeeds the tab claims nothing: a value of the wrong type ends the handler,
    // and the previous printer's state must not stay on show for this one.
    showKeepJobsView(*this, keepJobsViewFor(std::nullopt));
    showKeepJobsView(*this, keepJobsViewFor(readPrinterValue(registry, printer, kAttributesValue)));
    BtnSelCardPrinter.setEnabled(true);
}

void TForm1::ListBox1DrawItem(ListBoxItemPaint& paint) {
    const std::string printer = ListBox1.item(paint.index);
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

void TForm1::ListBox1DblClick() {
    changeSelectedPrinter(*this, KeepJobsChange::Toggle);
}

void TForm1::BtnKeepJobsClick() {
    changeSelectedPrinter(*this, KeepJobsChange::Keep);
}

void TForm1::BtnStopKeepJobsClick() {
    changeSelectedPrinter(*this, KeepJobsChange::Stop);
}

void TForm1::BtnRestartSpoolerClick() {
    restartSpooler(shell);
}

void TForm1::BtnSelCardPrinterClick() {
    nCardPrinter.setText(selectedPrinter(*this));
    nCardPrinterExit();
}

} // namespace quorva
