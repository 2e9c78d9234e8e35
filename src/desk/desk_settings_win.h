#pragma once

// The settings as the desk shows and changes them: the card printer in the user's settings file,
// in effect as soon as it is entered; the capture's settings as the machine gives them, writable
// only where this desk may change them (the service reads the machine's key again by itself).

#include "desk/desk_paths.h"
#include "desk/settings_tab.h"
#include "desk/spool_tab.h"
#include "platform/registry.h"
#include "settings/ini_settings_store.h"
#include "settings/machine_settings.h"
#include "settings/settings.h"

#include <string>

namespace quorva {

class DeskSettings {
public:
    DeskSettings(const DeskPaths& paths, const Registry& registry, bool administrator,
                 SettingsTab& settingsTab, SpoolTab& spoolTab);

    // Reads every setting into the settings tab's edits.
    void load();
    // A setting as the desk uses it.
    const std::string& value(Setting which) const;
    // The user left or validated a setting's edit.
    void applyEdit(Setting which);

private:
    void showMachineSettings();
    // A setting as its edit shows it.
    std::string shown(Setting which) const;

    const Registry& registry_;
    const bool administrator_;
    SettingsTab& settingsTab_;
    SpoolTab& spoolTab_;
    const std::string settingsFolder_;
    IniSettingsStore store_;
    Settings settings_;
    MachineCaptureSettings machine_;
};

} // namespace quorva
