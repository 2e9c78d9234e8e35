#include "desk/settings_tab.h"

#include "card/card_print.h"
#include "platform/error.h"
#include "platform/utf8.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

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
    elevate_.onClick = [this] { onElevate(); };
    for (const Setting setting : kAllSettings) {
        const auto edited = [this, setting] {
            if (onEdited)
                onEdited(setting);
        };
        edit(setting).onExit = edited;
        edit(setting).onEnter = edited;
    }
}

// The same program again, elevated, opened on this tab.
void SettingsTab::onElevate() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    shell_.execute("runas", path, "--parametres", SW_SHOWNORMAL);
}

Edit& SettingsTab::edit(Setting setting) {
    return fields_[static_cast<size_t>(setting)].edit;
}

namespace {

// The four settings, top to bottom, each under its caption.
constexpr std::pair<Setting, const wchar_t*> kFieldCaptions[] = {
    {Setting::CardPrinter, L"Imprimante des &cartes de fidélité :"},
    {Setting::Url, L"Adresse du &serveur de rapports :"},
    {Setting::Site, L"&Nom du site :"},
    {Setting::SpoolFolder, L"&Dossier du spouleur :"},
};

} // namespace

void SettingsTab::create() {
    printersCaption_.createCaption(page_, {}, L"&Imprimantes installées :");
    printers_.create(page_, {}, ListBox::Kind::OwnerDrawFixed, 16);
    attributes_.create(page_, {});
    keepJobs_.create(page_, {}, L"&Paramétrer le suivi des travaux");
    stopKeepingJobs_.create(page_, {}, L"&Arrêter le suivi des travaux");
    restartSpooler_.create(page_, {}, L"&Redémarrer le spouleur d'impression");
    for (Button* button : {&keepJobs_, &stopKeepingJobs_})
        button->setEnabled(false);
    chooseCardPrinter_.create(page_, {}, L">>");
    chooseCardPrinter_.setEnabled(false);
    for (const auto& [setting, caption] : kFieldCaptions) {
        Field& field = fields_[static_cast<size_t>(setting)];
        field.caption.createCaption(page_, {}, caption);
        field.edit.create(page_, {});
    }
    elevate_.create(page_, {}, L"&Modifier en administrateur");
    SendMessageW(elevate_.hwnd(), BCM_SETSHIELD, 0, TRUE);
    attributes_.setText("");
}

void SettingsTab::setReadOnly(Setting setting, bool readOnly) {
    SendMessageW(edit(setting).hwnd(), EM_SETREADONLY, readOnly, 0);
}

void SettingsTab::layout(int width, int height, const Layout& layout) {
    const int margin = layout(12);
    const int gap = layout(6);
    const int lineHeight = layout.labelHeight();
    const int buttonHeight = layout.buttonHeight();
    // Left: the installed printers and what can be done with them; right, past the ">>" button
    // that copies the selected printer into the card printer's edit: the settings. The printers
    // take at most 420 units and leave the settings as much room as they take.
    const int chooseWidth = layout(44);
    const int listWidth = std::min(layout(420), (width - 2 * margin - chooseWidth - 4 * gap) / 2);
    const int buttonWidth = std::min(layout(280), listWidth);
    const int buttonsHeight = 3 * buttonHeight + 3 * gap;
    const int listTop = margin + lineHeight + layout(2);
    const int listHeight =
        std::max(layout(48), std::min(layout(352), height - listTop - 2 * gap - lineHeight -
                                                       buttonsHeight - margin));
    printersCaption_.setBounds({margin, margin, listWidth, lineHeight});
    printers_.setBounds({margin, listTop, listWidth, listHeight});
    // One line of the list's font per printer.
    printers_.setItemHeight(std::max(layout(16), layout.labelHeight() - layout(2)));
    int y = listTop + listHeight + gap;
    attributes_.setBounds({margin, y, listWidth, lineHeight});
    y += lineHeight + gap;
    for (Button* button : {&keepJobs_, &stopKeepingJobs_, &restartSpooler_}) {
        button->setBounds({margin, y, buttonWidth, buttonHeight});
        y += buttonHeight + (button == &stopKeepingJobs_ ? 2 * gap : gap);
    }
    const int chooseLeft = margin + listWidth + 2 * gap;
    chooseCardPrinter_.setBounds(
        {chooseLeft, listTop - layout(1), chooseWidth, layout.editHeight()});

    const int editLeft = chooseLeft + chooseWidth + 2 * gap;
    const int editWidth = width - margin - editLeft;
    y = margin;
    for (const auto& [setting, caption] : kFieldCaptions) {
        Field& field = fields_[static_cast<size_t>(setting)];
        field.caption.setBounds({editLeft, y, editWidth, lineHeight});
        field.edit.setBounds(
            {editLeft, y + lineHeight + layout(2), editWidth, layout.editHeight()});
        y += lineHeight + layout.editHeight() + layout(22);
    }
    elevate_.setBounds({editLeft, y, std::min(layout(280), editWidth), buttonHeight});
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
    keepJobs_.setEnabled(administration_ && view.keepEnabled);
    stopKeepingJobs_.setEnabled(administration_ && view.stopEnabled);
}

void SettingsTab::allowAdministration(bool allowed) {
    administration_ = allowed;
    restartSpooler_.setEnabled(allowed);
    if (!allowed) {
        keepJobs_.setEnabled(false);
        stopKeepingJobs_.setEnabled(false);
    }
    ShowWindow(elevate_.hwnd(), allowed ? SW_HIDE : SW_SHOW);
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
        paint.text += " — conserve les travaux";
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
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    restartSpooler(shell_, toUtf8(std::wstring_view(folder, length)));
}

void SettingsTab::onChooseCardPrinter() {
    edit(Setting::CardPrinter).setText(selectedPrinter());
    if (onEdited)
        onEdited(Setting::CardPrinter);
}

} // namespace quorva
