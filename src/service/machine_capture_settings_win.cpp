#include "service/machine_capture_settings_win.h"

#include "core/start_line.h"
#include "printers/printer_attributes.h"
#include "printers/printer_list.h"
#include "settings/machine_settings.h"
#include "settings/service_proxy.h"

namespace quorva {

namespace {

BasicUniqueHandle<RegCloseKey, HKEY> keyToWatch(const wchar_t* path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_NOTIFY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return {};
    return BasicUniqueHandle<RegCloseKey, HKEY>(key);
}

std::string printersWarning(const Registry& registry) {
    try {
        return printersNotKeepingJobsWarning(registry, systemPrinterNames());
    } catch (const std::exception&) {
        return {}; // no printer list: nothing to warn of
    }
}

} // namespace

HostSettings machineCaptureSettings(const Registry& registry) {
    const MachineCaptureSettings machine = readMachineCaptureSettings(registry);
    const ProxyChoice proxy = chooseServiceProxy(machine.proxy, machine.url.text, readWinHttpProxy);
    return {{machine.spoolFolder.text,
             machine.site.text,
             {machine.url.text, proxy.proxy ? proxy.proxy->host : std::string(),
              proxy.proxy ? proxy.proxy->port : 80}},
            serviceStartLine(currentRunFacts(), machine, proxy),
            printersWarning(registry)};
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

} // namespace quorva
