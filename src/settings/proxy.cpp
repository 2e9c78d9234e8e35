#include "settings/proxy.h"

#include "net/ascii.h"
#include "settings/nth_field.h"

#include <algorithm>

namespace quorva {

namespace {

ProxySetting parseHostAndPort(const std::string& text) {
    std::string fields = text;
    std::replace(fields.begin(), fields.end(), ':', ';');
    return {nthField(fields, 1), parseWholeNumber<int>(nthField(fields, 2)).value_or(80)};
}

} // namespace

std::optional<ProxySetting> parseProxyText(const std::string& text, std::string_view scheme) {
    if (text.find('=') == std::string::npos)
        return parseHostAndPort(text);
    // One proxy per protocol, "http=host:port;https=host:port": the one of the upload's scheme.
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::string_view entry = rest.substr(0, rest.find(';'));
        rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
        const auto equals = entry.find('=');
        if (equals == std::string_view::npos ||
            !equalsNoCase(trimBlanks(entry.substr(0, equals)), scheme))
            continue;
        ProxySetting proxy = parseHostAndPort(std::string(trimBlanks(entry.substr(equals + 1))));
        if (proxy.host.empty())
            return std::nullopt;
        return proxy;
    }
    return std::nullopt;
}

} // namespace quorva
