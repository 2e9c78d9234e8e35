#pragma once

// The Internet proxy of the user's Windows settings, read once at start-up for the HTTP client.

#include "platform/registry.h"

#include <optional>
#include <string>
#include <string_view>

namespace quorva {

inline constexpr char kInternetSettingsKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct ProxySetting {
    std::string host;
    int port = 80;

    bool operator==(const ProxySetting&) const = default;
};

// host:port as the user's settings write it: the host is the text before the first ":", the
// port the number after it, 80 when that is empty or not a number; it serves every address. A
// list of proxies per protocol ("http=host:port;https=host:port", written when the user sets them
// apart) gives the entry of `scheme` ("http" or "https", the upload address's), read the same
// way, and no proxy when it has none.
std::optional<ProxySetting> parseProxyText(const std::string& text, std::string_view scheme);

// The proxy for addresses of `scheme` when ProxyServer is not empty and ProxyEnable is not zero,
// else nothing. Throws Error "Echec à l'obtention des données pour 'ProxyEnable'" when
// ProxyEnable is missing while ProxyServer is set, and "Type de données incorrect pour '<name>'"
// when ProxyServer is not a string or ProxyEnable not a 32-bit number.
std::optional<ProxySetting> detectProxy(const Registry& registry, std::string_view scheme = "http");

} // namespace quorva
