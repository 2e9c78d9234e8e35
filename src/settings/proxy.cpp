#include "settings/proxy.h"

#include "net/ascii.h"
#include "settings/nth_field.h"

#include <algorithm>
#include <charconv>

namespace quorva {

namespace {

// A decimal integer and nothing else, or nothing.
std::optional<int> parseInteger(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

ProxySetting parseHostAndPort(const std::string& text) {
    std::string fields = text;
    std::replace(fields.begin(), fields.end(), ':', ';');
    return {nthField(fields, 1), parseInteger(nthField(fields, 2)).value_or(80)};
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
