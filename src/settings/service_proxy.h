#pragma once

// The proxy of the capture service, which runs without a user and so without the user's Internet
// settings: the machine's Proxy value, else the machine-wide proxy of WinHTTP (the one
// `netsh winhttp set proxy` sets), else none.

#include "settings/machine_settings.h"
#include "settings/proxy.h"

#include <functional>
#include <optional>
#include <string>

namespace quorva {

enum class ProxySource { None, Policy, Machine, WinHttp };

struct ProxyChoice {
    std::optional<ProxySetting> proxy;
    ProxySource source = ProxySource::None; // None: nothing configured anywhere

    bool operator==(const ProxyChoice&) const = default;
};

// WinHTTP's machine proxy list when it names one ("host:port" entries or "scheme=host:port"
// entries, separated by ";" or blanks), else nothing.
using WinHttpProxyReader = std::function<std::optional<std::string>()>;

// The proxy for uploads to `uploadUrl`. A machine Proxy value decides alone, even when it has no
// entry for the address's scheme (the upload then goes direct); WinHTTP is asked only without
// one. The bypass lists are not applied: the uploads all go to the one report server.
ProxyChoice chooseServiceProxy(const MachineValue& machineProxy, const std::string& uploadUrl,
                               const WinHttpProxyReader& readWinHttpProxy);

#ifdef _WIN32
// WinHttpGetDefaultProxyConfiguration's list when its access type is a named proxy.
std::optional<std::string> readWinHttpProxy();
#endif

} // namespace quorva
