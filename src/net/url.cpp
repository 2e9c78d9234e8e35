#include "net/url.h"

#include "net/ascii.h"

#include <algorithm>

namespace quorva {

namespace {

std::string defaultPort(std::string_view protocol) {
    if (equalsNoCase(protocol, "http"))
        return "80";
    if (equalsNoCase(protocol, "https"))
        return "443";
    return {};
}

} // namespace

std::string withoutCredentials(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return std::string(url);
    const auto hostStart = scheme + 3;
    const auto at = url.substr(0, url.find_first_of("/\\?#", hostStart)).rfind('@');
    if (at == std::string_view::npos || at < hostStart)
        return std::string(url);
    return std::string(url.substr(0, hostStart)) + std::string(url.substr(at + 1));
}

Url parseUrl(std::string_view input) {
    std::string text(input);
    std::replace(text.begin(), text.end(), '\\', '/');
    text = text.substr(0, text.find('#'));

    Url url;
    std::string_view rest = text;
    if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) {
        url.protocol = rest.substr(0, scheme);
        rest.remove_prefix(scheme + 3);
        std::string_view authority = rest.substr(0, rest.find_first_of("/?"));
        rest.remove_prefix(authority.size());
        if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
            const std::string_view userInfo = authority.substr(0, at);
            const auto colon = userInfo.find(':');
            url.username = userInfo.substr(0, colon);
            if (colon != std::string_view::npos)
                url.password = userInfo.substr(colon + 1);
            authority.remove_prefix(at + 1);
        }
        // A bracketed IPv6 address holds colons of its own.
        const auto hostEnd = authority.find(']');
        const auto colon = authority.find(':', hostEnd == std::string_view::npos ? 0 : hostEnd);
        url.host = authority.substr(0, colon);
        if (colon != std::string_view::npos)
            url.port = authority.substr(colon + 1);
        if (url.port.empty())
            url.port = defaultPort(url.protocol);
        if (rest.empty() || rest.front() != '/')
            url.path = "/";
    }
    const auto question = rest.find('?');
    if (question != std::string_view::npos) {
        url.params = rest.substr(question);
        rest = rest.substr(0, question);
    }
    const auto lastSlash = rest.rfind('/');
    const auto documentStart = lastSlash == std::string_view::npos ? 0 : lastSlash + 1;
    url.path += rest.substr(0, documentStart);
    url.document = rest.substr(documentStart);
    return url;
}

} // namespace quorva
