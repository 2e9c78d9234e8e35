#pragma once

// The cookies the report server sets, kept in memory for the program's run.
//
// Choices made here:
// - A cookie's domain fits a host when it equals the host or is a suffix of it that starts
//   after a dot ("example.com" fits "www.example.com", never "badexample.com"); a leading dot
//   of the Domain attribute is ignored; an IP address fits only itself. The same rule decides
//   which cookies are stored and which are sent.
// - A cookie without a Path attribute gets the request's folder ("/KelbBin/Kelb.dll/").
// - Cookies go out in the order they were first stored; one that is set again (same name,
//   domain and path) keeps its place and takes the new value.
// - A cookie whose name or value holds a control character (a bare CR among them) is dropped:
//   it would go back raw into the next request's head. So is one longer than maxCookieBytes.
// - The jar keeps at most maxCookies; a new cookie beyond that pushes out the oldest, so that a
//   server setting cookies without end cannot grow the next request's head.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorva {

class CookieJar {
public:
    static constexpr std::size_t maxCookies = 50;
    static constexpr std::size_t maxCookieBytes = 4096; // name and value

    // Stores the cookie of one Set-Cookie or Set-Cookie2 value received from `host` in answer to
    // a request whose folder is `requestFolder`. `now` is in seconds since 1970 (UTC).
    void store(std::string_view setCookie, const std::string& host,
               const std::string& requestFolder, std::int64_t now);
    // Drops the cookies whose expiry time has come.
    void removeExpired(std::int64_t now);
    // The stored cookies to send with a request to `host` for `requestPath`, as "name=value"
    // pairs joined by "; "; empty when none fits.
    std::string headerFor(const std::string& host, const std::string& requestPath) const;
    std::size_t size() const { return cookies_.size(); }

private:
    struct Cookie {
        std::string name;
        std::string value;
        std::string domain; // lower case, without a leading dot
        std::string path;
        bool secure = false;
        std::optional<std::int64_t> expires;
    };
    std::vector<Cookie> cookies_;
};

// A cookie date ("Sun, 06 Nov 1994 08:49:37 GMT" and the other forms servers write) in seconds
// since 1970 (UTC); nothing when it cannot be read.
std::optional<std::int64_t> parseCookieDate(std::string_view text);

} // namespace quorva
