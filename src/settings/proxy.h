#pragma once

// The Internet proxy of the user's Windows settings, read once at start-up for the HTTP client.

#include "platform/registry.h"

#include <optional>
#include <string>

namespace quorva {

inline constexpr char kInternetSettingsKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct ProxySetting {
    std::string host;
    int port = 80;

    bool operator==(const ProxySetting&) const = default;
};

// host:port as the user's settings write it: the host is the text before the first ":", the
// port the number after it, 80 when that is empty or not a number. A list of proxies per
// protocol ("http=host:port;https=host:port", written when the user sets them apart) gives its
// "http" entry, read the same way, and no proxy when it has none.
std::optional<ProxySetting> parseProxyText(const std::string& text);

// The proxy when ProxyServer is not empty and ProxyEnable is not zero, else nothing. Throws Error
// "Echec à l'obtention des données pour 'ProxyEnable'" when ProxyEnable is missing while
// ProxyServer is set, and "Type de données incorrect pour '<name>'" when ProxyServer is not a
// string or ProxyEnable not a 32-bit number.
std::optional<ProxySetting> detectProxy(const Registry& registry);

} // namespace quorva
