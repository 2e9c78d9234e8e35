#include "service/machine_capture_settings_win.h"

#include "platform/files.h"
#include "settings/machine_settings.h"

namespace quorva {

namespace {

std::string machineValue(const MachineSettings& machine, Setting setting) {
    return machine[static_cast<std::size_t>(setting)].value_or(settingInfo(setting).defaultValue);
}

BasicUniqueHandle<RegCloseKey, HKEY> keyToWatch(const wchar_t* path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_NOTIFY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return {};
    return BasicUniqueHandle<RegCloseKey, HKEY>(key);
}

} // namespace

CaptureSettings machineCaptureSettings(const Registry& registry) {
    const MachineSettings machine = readMachineSettings(registry);
    return {machineValue(machine, Setting::SpoolFolder),
            machineValue(machine, Setting::Site),
            {machineValue(machine, Setting::Url), {}, 80}};
}

std::string serviceStartLine(const RunFacts& facts, const Registry& registry) {
    const MachineSettings machine = readMachineSettings(registry);
    std::string line = "Démarrage de la capture Quorva " + facts.version + " : compte " +
                       facts.user;
    for (const Setting setting : {Setting::Site, Setting::Url, Setting::SpoolFolder})
        line += std::string(" ; ") + settingInfo(setting).key + "=\"" +
                machineValue(machine, setting) + "\" (" +
                (machine[static_cast<std::size_t>(setting)] ? "poste" : "défaut") + ")";
    return line;
}

MachineSettingsWatch::MachineSettingsWatch()
    : changed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      machine_(keyToWatch(L"SOFTWARE\\Zentor")), policies_(keyToWatch(L"SOFTWARE\\Policies")) {
    rearm();
}

void MachineSettingsWatch::rearm() {
    constexpr DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    for (HKEY key : {machine_.get(), policies_.get()}) {
        if (key != nullptr)
            RegNotifyChangeKeyValue(key, TRUE, kChanges, changed_.get(), TRUE);
    }
}

void prepareDataFolder(const std::string& folder) {
    SystemFiles().createFolders(folder);
}

} // namespace quorva
