#pragma once

// A proxy's text, as the machine's Proxy value and WinHTTP's settings write it.

#include <optional>
#include <string>
#include <string_view>

namespace quorva {

struct ProxySetting {
    std::string host;
    int port = 80;

    bool operator==(const ProxySetting&) const = default;
};

// host:port: the host is the text before the first ":", the port the number after it, 80 when
// that is empty or not a number; it serves every address. A list of proxies per protocol
// ("http=host:port;https=host:port") gives the entry of `scheme` ("http" or "https", the upload
// address's), read the same way, and no proxy when it has none.
std::optional<ProxySetting> parseProxyText(const std::string& text, std::string_view scheme);

} // namespace quorva
