#include "settings/machine_settings.h"

namespace quorva {

namespace {

bool isText(const RegistryValue& value) {
    return value.type == RegistryType::String || value.type == RegistryType::ExpandString;
}

std::unique_ptr<RegistryKey> openForReading(const Registry& registry, const char* path) {
    return registry.open(RegistryRoot::LocalMachine, path, RegistryAccess::Read, false);
}

} // namespace

MachineSettings readMachineSettings(const Registry& registry) {
    MachineSettings values;
    const auto key = openForReading(registry, kMachineSettingsKey);
    if (!key)
        return values;
    for (const Setting setting : kAllSettings) {
        const auto value = key->read(settingInfo(setting).key);
        if (value && isText(*value))
            values[static_cast<std::size_t>(setting)] = value->text;
    }
    return values;
}

MachineCaptureSettings readMachineCaptureSettings(const Registry& registry) {
    const auto policy = openForReading(registry, kMachineSettingsKey);
    const auto machine = openForReading(registry, kMachineValuesKey);
    const auto valueOf = [&](const std::string& name, const char* defaultValue) {
        for (const auto& [key, origin] : {std::pair{policy.get(), SettingOrigin::Policy},
                                          std::pair{machine.get(), SettingOrigin::Machine}}) {
            if (!key)
                continue;
            const auto value = key->read(name);
            if (value && isText(*value) && !value->text.empty())
                return MachineValue{value->text, origin};
        }
        return MachineValue{defaultValue, SettingOrigin::Default};
    };
    const auto settingOf = [&](Setting setting) {
        return valueOf(settingInfo(setting).key, settingInfo(setting).defaultValue);
    };
    return {settingOf(Setting::Site), settingOf(Setting::Url), settingOf(Setting::SpoolFolder),
            valueOf(kMachineProxyName, "")};
}

void writeMachineSetting(const Registry& registry, const std::string& name,
                         const std::string& value) {
    const auto key = registry.open(RegistryRoot::LocalMachine, kMachineValuesKey,
                                   RegistryAccess::ReadWrite, /*create=*/true);
    if (!key || !(value.empty() ? key->deleteValue(name) : key->writeString(name, value)))
        throw registryWriteFailed(name);
}

} // namespace quorva
