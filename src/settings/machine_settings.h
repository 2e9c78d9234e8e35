#pragma once

// The settings an administrator gives for every user of the desk.
//
// The desk reads string values named like the INI keys under HKLM\SOFTWARE\Policies\Zentor\Quorva,
// written by the setup program (its /URL= /SITE= /IMPRIMANTE= /DOSSIER= switches, the MSI's
// properties) or by group policy.
//
// The capture service, which captures for the whole desk, takes its capture settings from the
// machine alone: the group policy's value wins, then the machine's own value under
// HKLM\SOFTWARE\Zentor\Quorva (written by the installers and by the desk's elevated settings
// change), then the default. The card printer stays the user's.

#include "platform/registry.h"
#include "settings/settings.h"

#include <string>

namespace quorva {

inline constexpr char kMachineSettingsKey[] = "SOFTWARE\\Policies\\Zentor\\Quorva";
inline constexpr char kMachineValuesKey[] = "SOFTWARE\\Zentor\\Quorva";
// The proxy the capture service uploads through, "host:port" or a list per protocol
// ("http=host:port;https=host:port"); a machine value only, without default.
inline constexpr char kMachineProxyName[] = "Proxy";

// The machine's values; a missing key, or a value that is not a string, gives none.
MachineSettings readMachineSettings(const Registry& registry);

struct MachineValue {
    std::string text;
    SettingOrigin origin = SettingOrigin::Default; // Policy, Machine or Default

    bool operator==(const MachineValue&) const = default;
};

struct MachineCaptureSettings {
    MachineValue site;        // NomSite
    MachineValue url;         // NomURL
    MachineValue spoolFolder; // DossierSpouleur
    MachineValue proxy;       // Proxy; empty by default
};

// Each value from the policy key, else the machine key, else its default. A missing or empty
// value, or one that is not a string, gives nothing at that level.
MachineCaptureSettings readMachineCaptureSettings(const Registry& registry);

// Writes the value `name` (a setting's key, or kMachineProxyName) under the machine key, created
// when missing; an empty value deletes it, so that the default applies again. Throws Error
// "Echec à la définition des données pour '<name>'" when the key cannot be opened or the system
// refuses the change.
void writeMachineSetting(const Registry& registry, const std::string& name,
                         const std::string& value);

} // namespace quorva
