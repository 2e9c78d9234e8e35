#pragma once

// The settings an administrator gives for every user of the desk: string values named like the
// INI keys under HKLM\SOFTWARE\Policies\Zentor\Quorva, written by the setup program (its
// /URL= /SITE= /IMPRIMANTE= /DOSSIER= switches, the MSI's properties) or by group policy.

#include "platform/registry.h"
#include "settings/settings.h"

namespace quorva {

inline constexpr char kMachineSettingsKey[] = "SOFTWARE\\Policies\\Zentor\\Quorva";

// The machine's values; a missing key, or a value that is not a string, gives none.
MachineSettings readMachineSettings(const Registry& registry);

} // namespace quorva
