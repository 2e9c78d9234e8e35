#include "settings/machine_settings.h"

namespace quorva {

MachineSettings readMachineSettings(const Registry& registry) {
    MachineSettings values;
    const auto key =
        registry.open(RegistryRoot::LocalMachine, kMachineSettingsKey, RegistryAccess::Read, false);
    if (!key)
        return values;
    for (const Setting setting : kAllSettings) {
        const auto value = key->read(settingInfo(setting).key);
        if (value &&
            (value->type == RegistryType::String || value->type == RegistryType::ExpandString))
            values[static_cast<std::size_t>(setting)] = value->text;
    }
    return values;
}

} // namespace quorva
