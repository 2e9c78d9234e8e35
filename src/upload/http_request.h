#pragma once

// The bytes of a POST request head.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorva {

struct HttpRequestHead {
    std::string target; // path and query, or the absolute URL through a proxy
    bool viaProxy = false;
    std::string contentType;
    std::int64_t contentLength = 0;
    std::string host; // with ":port" unless the port is 80
    std::string accept;
    std::string userAgent;
    std::string authorization;      // empty: not sent
    std::string proxyAuthorization; // empty: not sent
    std::string cookie;             // empty: not sent
};

// Request line, headers in their fixed order, empty line; every line ends with CR LF. Throws
// Error when the target or a value holds a control character.
std::string composeRequestHead(const HttpRequestHead& head);

// The request for a tunnel through a proxy to `authority` (host:port): the proxy learns nothing
// else of the request. Throws Error like composeRequestHead.
std::string composeConnectHead(const std::string& authority, const std::string& proxyAuthorization);

// One header line with its CR LF; a line longer than 78 characters is broken after a tab, space
// or comma, pieces within 78 characters where possible, trailing blanks cut, each continuation
// line starting with one space.
std::string foldHeaderLine(std::string_view line);

// Base64 (RFC 4648) with padding.
std::string base64Encode(std::string_view bytes);

} // namespace quorva
