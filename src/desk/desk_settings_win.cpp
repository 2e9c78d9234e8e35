#include "desk/desk_settings_win.h"

#include "net/url.h"

namespace quorva {

namespace {

// The machine's value behind a capture setting's edit.
template <typename Machine> auto& machineValue(Machine& machine, Setting which) {
    return which == Setting::Site  ? machine.site
           : which == Setting::Url ? machine.url
                                   : machine.spoolFolder;
}

} // namespace

DeskSettings::DeskSettings(const DeskPaths& paths, const Registry& registry, bool administrator,
                           SettingsTab& settingsTab, SpoolTab& spoolTab)
    : registry_(registry), administrator_(administrator), settingsTab_(settingsTab),
      spoolTab_(spoolTab), settingsFolder_(paths.settingsFolder), store_(paths.settingsFile),
      settings_(store_, readMachineSettings(registry)) {
}

void DeskSettings::load() {
    createSettingsFolder(settingsFolder_);
    // The card printer into its edit, and the in-memory copy from the edit.
    settingsTab_.setText(Setting::CardPrinter, settings_.read(Setting::CardPrinter));
    settings_.setValue(Setting::CardPrinter, settingsTab_.text(Setting::CardPrinter));
    showMachineSettings();
    settingsTab_.allowAdministration(administrator_);
}

const std::string& DeskSettings::value(Setting which) const {
    if (which == Setting::CardPrinter)
        return settings_.value(which);
    return machineValue(machine_, which).text;
}

std::string DeskSettings::shown(Setting which) const {
    // A password in the server's address is not shown; an edit left as shown keeps it.
    return which == Setting::Url ? withoutCredentials(value(which)) : value(which);
}

void DeskSettings::showMachineSettings() {
    machine_ = readMachineCaptureSettings(registry_);
    for (const Setting which : {Setting::Site, Setting::Url, Setting::SpoolFolder}) {
        const MachineValue& value = machineValue(machine_, which);
        settingsTab_.setText(which, shown(which));
        settingsTab_.setReadOnly(which, !administrator_ || value.origin == SettingOrigin::Policy);
    }
    spoolTab_.setFolder(machine_.spoolFolder.text);
}

void DeskSettings::applyEdit(Setting which) {
    const std::string text = settingsTab_.text(which);
    if (which == Setting::CardPrinter) {
        // In effect before it is written, also when the write fails.
        settings_.storeOnExit(which, text);
        return;
    }
    if (!administrator_ || text == shown(which))
        return;
    // The service reads the machine's key again as soon as it changes.
    writeMachineSetting(registry_, settingInfo(which).key, text);
    showMachineSettings();
}

} // namespace quorva
