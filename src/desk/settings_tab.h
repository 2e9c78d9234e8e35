#pragma once

// The "Paramètres" tab: the installed printers with their keep-printed-jobs attribute, the
// spooler's restart, and the four settings' edits. Nothing of the printers is cached: the
// registry holds the only copy of each value.

#include "platform/registry.h"
#include "platform/shell.h"
#include "printers/printer_attributes.h"
#include "settings/settings.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "ui/tab_control.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quorva {

class SettingsTab {
public:
    SettingsTab(MessageBoxes& boxes, const Registry& registry, Shell& shell);

    Page& page() { return page_; }
    void create();
    void layout(int width, int height, const Layout& layout);

    // ---- The settings' edits
    Edit& edit(Setting setting);
    std::string text(Setting setting) { return edit(setting).text(); }
    void setText(Setting setting, const std::string& text) { edit(setting).setText(text); }
    // The user left a setting's edit, or pressed Enter in it.
    std::function<void(Setting)> onEdited;
    // The capture's settings are the machine's: only an administrator changes them, and none
    // that a policy sets.
    void setReadOnly(Setting setting, bool readOnly);
    // Shown, with the shield, to a user without administrator rights: it opens the settings
    // again with them.
    Button& elevateButton() { return elevate_; }
    // The printers' keep-printed-jobs attribute and the spooler's restart need administrator
    // rights: without them, their buttons stay disabled and the shield button shows.
    void allowAdministration(bool allowed);

    // ---- The printers
    void fillPrinterList();
    ListBox& printerList() { return printers_; }
    const Label& attributesLabel() const { return attributes_; }
    Button& keepJobsButton() { return keepJobs_; }
    Button& stopKeepingJobsButton() { return stopKeepingJobs_; }
    Button& restartSpoolerButton() { return restartSpooler_; }
    Button& chooseCardPrinterButton() { return chooseCardPrinter_; }

    // Every display and change reads the selected printer's registry value again.
    void onPrinterSelected();
    // Printers that keep their printed jobs are drawn in colour and say so in words.
    void drawPrinterItem(ListBoxItemPaint& paint);
    void onPrinterDoubleClick();
    void onElevate();
    void onKeepJobs();
    void onStopKeepingJobs();
    void onRestartSpooler();
    void onChooseCardPrinter();

private:
    std::string selectedPrinter() const;
    void showKeepJobsView(std::optional<std::int64_t> attributes);
    // Read, change, write, then show what is stored now.
    void changeSelectedPrinter(KeepJobsChange change);

    const Registry& registry_;
    Shell& shell_;
    Page page_;
    ListBox printers_;
    Label printersCaption_;
    Label attributes_;
    Button keepJobs_;
    Button stopKeepingJobs_;
    Button restartSpooler_;
    Button chooseCardPrinter_;
    Button elevate_;
    bool administration_ = true;
    struct Field {
        Label caption;
        Edit edit;
    };
    // By Setting: card printer, site, server address, spool folder.
    Field fields_[4];
};

} // namespace quorva
