#include "app/settings_tab.h"

#include "card/card_print.h"
#include "platform/error.h"

#include <windows.h>

namespace quorva {

namespace {

COLORREF colorOf(const Rgb& rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

} // namespace

SettingsTab::SettingsTab(MessageBoxes& boxes, const Registry& registry, Shell& shell)
    : registry_(registry), shell_(shell), page_(boxes) {
    printers_.onClick = [this] { onPrinterSelected(); };
    printers_.onDblClick = [this] { onPrinterDoubleClick(); };
    printers_.onDrawItem = [this](ListBoxItemPaint& paint) { drawPrinterItem(paint); };
    keepJobs_.onClick = [this] { onKeepJobs(); };
    stopKeepingJobs_.onClick = [this] { onStopKeepingJobs(); };
    restartSpooler_.onClick = [this] { onRestartSpooler(); };
    chooseCardPrinter_.onClick = [this] { onChooseCardPrinter(); };
    for (const Setting setting :
         {Setting::CardPrinter, Setting::Site, Setting::Url, Setting::SpoolFolder})
        edit(setting).onExit = [this, setting] {
            if (onEdited)
                onEdited(setting);
        };
}

Edit& SettingsTab::edit(Setting setting) {
    return fields_[static_cast<size_t>(setting)].edit;
}

void SettingsTab::create(int width) {
    // Left: the installed printers and what can be done with them.
    constexpr int kListWidth = 420;
    printersCaption_.create(page_, {12, 12, kListWidth, 18}, L"Imprimantes installées :");
    printers_.create(page_, {12, 32, kListWidth, 352}, ListBox::Kind::OwnerDrawFixed, 16);
    attributes_.create(page_, {12, 392, kListWidth, 18});
    keepJobs_.create(page_, {12, 420, 280, 28}, L"Paramétrer le suivi des travaux");
    stopKeepingJobs_.create(page_, {12, 454, 280, 28}, L"Arrêter le suivi des travaux");
    restartSpooler_.create(page_, {12, 500, 280, 28}, L"Redémarrer le spouleur d'impression");
    for (Button* button : {&keepJobs_, &stopKeepingJobs_})
        button->setEnabled(false);

    // Between: copies the selected printer into the card printer's edit.
    constexpr int kEditLeft = 500;
    const int editWidth = width - kEditLeft - 12;
    chooseCardPrinter_.create(page_, {kListWidth + 24, 31, 44, 26}, L">>");
    chooseCardPrinter_.setEnabled(false);

    // Right: the four settings, each under its caption.
    const std::pair<Setting, const wchar_t*> captions[] = {
        {Setting::CardPrinter, L"Imprimante des cartes de fidélité :"},
        {Setting::Url, L"Adresse du serveur de rapports :"},
        {Setting::Site, L"Nom du site :"},
        {Setting::SpoolFolder, L"Dossier du spouleur :"},
    };
    int y = 12;
    for (const auto& [setting, caption] : captions) {
        Field& field = fields_[static_cast<size_t>(setting)];
        field.caption.create(page_, {kEditLeft, y, editWidth, 18}, caption);
        field.edit.create(page_, {kEditLeft, y + 20, editWidth, 24});
        y += 64;
    }
    attributes_.setText("");
}

void SettingsTab::fillPrinterList() {
    printers_.clear();
    for (const std::string& name : systemPrinterNames())
        printers_.add(name);
}

std::string SettingsTab::selectedPrinter() const {
    return printers_.item(printers_.itemIndex());
}

void SettingsTab::showKeepJobsView(std::optional<std::int64_t> attributes) {
    const KeepJobsView view = keepJobsViewFor(attributes);
    attributes_.setText(view.label);
    keepJobs_.setEnabled(view.keepEnabled);
    stopKeepingJobs_.setEnabled(view.stopEnabled);
}

void SettingsTab::changeSelectedPrinter(KeepJobsChange change) {
    changeKeepPrintedJobs(registry_, selectedPrinter(), change);
    InvalidateRect(printers_.hwnd(), nullptr, TRUE);
    UpdateWindow(printers_.hwnd());
    onPrinterSelected();
}

void SettingsTab::onPrinterSelected() {
    const std::string printer = selectedPrinter();
    // Until the read succeeds the tab claims nothing: a value of the wrong type ends the handler,
    // and the previous printer's state must not stay on show for this one.
    showKeepJobsView(std::nullopt);
    showKeepJobsView(readPrinterValue(registry_, printer, kAttributesValue));
    chooseCardPrinter_.setEnabled(true);
}

void SettingsTab::drawPrinterItem(ListBoxItemPaint& paint) {
    const std::string printer = printers_.item(paint.index);
    std::optional<std::int64_t> attributes;
    try {
        attributes = readPrinterValue(registry_, printer, kAttributesValue);
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

void SettingsTab::onPrinterDoubleClick() {
    changeSelectedPrinter(KeepJobsChange::Toggle);
}

void SettingsTab::onKeepJobs() {
    changeSelectedPrinter(KeepJobsChange::Keep);
}

void SettingsTab::onStopKeepingJobs() {
    changeSelectedPrinter(KeepJobsChange::Stop);
}

void SettingsTab::onRestartSpooler() {
    restartSpooler(shell_);
}

void SettingsTab::onChooseCardPrinter() {
    edit(Setting::CardPrinter).setText(selectedPrinter());
    if (onEdited)
        onEdited(Setting::CardPrinter);
}

} // namespace quorva
