#pragma once

// The capture settings as the machine gives them to the service, and the watch that tells the
// service when an administrator or a policy changes them.

#include "platform/registry.h"
#include "platform/unique_handle_win.h"
#include "service/capture_host_win.h"

#include <windows.h>

#include <string>

namespace quorva {

// The policy's values, else the machine's, else the defaults; the proxy from the machine's value
// or else WinHTTP's.
HostSettings machineCaptureSettings(const Registry& registry);

// Signals its event when a value under the machine's or the policy's key of Quorva changes;
// rearm() after each signal.
class MachineSettingsWatch {
public:
    MachineSettingsWatch();
    HANDLE event() const { return changed_.get(); }
    void rearm();

private:
    UniqueHandle changed_;
    BasicUniqueHandle<RegCloseKey, HKEY> machine_;
    BasicUniqueHandle<RegCloseKey, HKEY> policies_;
};

} // namespace quorva
