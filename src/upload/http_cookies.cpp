#include "upload/http_cookies.h"

#include "net/ascii.h"
#include "platform/date_time.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace quorva {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text, std::size_t minimum, std::size_t maximum) {
    return text.size() >= minimum && text.size() <= maximum &&
           std::all_of(text.begin(), text.end(), isDigit);
}

int toInt(std::string_view digits) {
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

bool isIpAddress(std::string_view host) {
    return host.find(':') != std::string_view::npos ||
           std::all_of(host.begin(), host.end(), [](char c) { return isDigit(c) || c == '.'; });
}

bool domainFits(std::string_view domain, std::string_view host) {
    const std::string lowerHost = lowerAscii(host);
    if (lowerHost == domain)
        return true;
    return !domain.empty() && !isIpAddress(lowerHost) && lowerHost.size() > domain.size() &&
           lowerHost.ends_with(domain) && lowerHost[lowerHost.size() - domain.size() - 1] == '.';
}

std::string_view unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// Date tokens are separated by anything but letters, digits and ":".
bool isDateDelimiter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == 0x09 || (u >= 0x20 && u <= 0x2F) || (u >= 0x3B && u <= 0x40) ||
           (u >= 0x5B && u <= 0x60) || (u >= 0x7B && u <= 0x7E);
}

struct TimeOfDay {
    int hour, minute, second;
};

std::optional<TimeOfDay> parseTimeToken(std::string_view token) {
    const auto first = token.find(':');
    const auto second = token.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
        return std::nullopt;
    const auto h = token.substr(0, first);
    const auto m = token.substr(first + 1, second - first - 1);
    const auto s = token.substr(second + 1);
    if (!allDigits(h, 1, 2) || !allDigits(m, 1, 2) || !allDigits(s, 1, 2))
        return std::nullopt;
    return TimeOfDay{toInt(h), toInt(m), toInt(s)};
}

int monthOf(std::string_view token) {
    static constexpr std::array<std::string_view, 12> names = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3)
        return 0;
    const std::string start = lowerAscii(token.substr(0, 3));
    const auto it = std::find(names.begin(), names.end(), start);
    return it == names.end() ? 0 : static_cast<int>(it - names.begin()) + 1;
}

} // namespace

std::optional<std::int64_t> parseCookieDate(std::string_view text) {
    std::optional<TimeOfDay> time;
    int day = 0, month = 0, year = -1;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isDateDelimiter(text[i]))
            ++i;
        std::size_t end = i;
        while (end < text.size() && !isDateDelimiter(text[end]))
            ++end;
        const std::string_view token = text.substr(i, end - i);
        i = end;
        if (token.empty())
            continue;
        if (!time && (time = parseTimeToken(token)))
            continue;
        if (day == 0 && allDigits(token, 1, 2)) {
            day = toInt(token);
            continue;
        }
        if (month == 0 && (month = monthOf(token)) != 0)
            continue;
        if (year < 0 && allDigits(token, 2, 4))
            year = toInt(token);
    }
    if (year >= 70 && year <= 99)
        year += 1900;
    else if (year >= 0 && year <= 69)
        year += 2000;
    if (!time || month == 0 || year < 1601 || year > 9999 || day < 1 ||
        day > daysInMonth(year, month) || time->hour > 23 || time->minute > 59 || time->second > 59)
        return std::nullopt;
    return daysFromCivil(year, month, day) * 86400 + time->hour * 3600 + time->minute * 60 +
           time->second;
}

void CookieJar::store(std::string_view setCookie, const std::string& host,
                      const std::string& requestFolder, std::int64_t now) {
    const std::string_view pair = setCookie.substr(0, setCookie.find(';'));
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos)
        return;
    Cookie cookie;
    cookie.name = trimBlanks(pair.substr(0, equals));
    cookie.value = trimBlanks(pair.substr(equals + 1));
    if (cookie.name.empty() || hasControlCharacter(cookie.name) ||
        hasControlCharacter(cookie.value) ||
        cookie.name.size() + cookie.value.size() > maxCookieBytes)
        return;
    cookie.domain = lowerAscii(host);
    cookie.path = requestFolder;
    std::optional<std::int64_t> maxAge;

    std::string_view attributes = setCookie.substr(std::min(setCookie.size(), pair.size() + 1));
    while (!attributes.empty()) {
        const std::string_view attribute = attributes.substr(0, attributes.find(';'));
        attributes.remove_prefix(std::min(attributes.size(), attribute.size() + 1));
        const auto eq = attribute.find('=');
        const std::string_view key = trimBlanks(attribute.substr(0, eq));
        const std::string_view value = eq == std::string_view::npos
                                           ? std::string_view{}
                                           : unquote(trimBlanks(attribute.substr(eq + 1)));
        if (equalsNoCase(key, "domain") && !value.empty()) {
            cookie.domain = lowerAscii(value.front() == '.' ? value.substr(1) : value);
            if (!domainFits(cookie.domain, host))
                return;
        } else if (equalsNoCase(key, "path") && value.starts_with('/')) {
            cookie.path = value;
        } else if (equalsNoCase(key, "secure")) {
            cookie.secure = true;
        } else if (equalsNoCase(key, "expires")) {
            if (auto date = parseCookieDate(value))
                cookie.expires = date;
        } else if (equalsNoCase(key, "max-age")) {
            if (const auto seconds = parseWholeNumber<std::int64_t>(value))
                maxAge = std::clamp<std::int64_t>(*seconds, -1, std::int64_t{1} << 40);
        }
    }
    // Max-Age wins over Expires.
    if (maxAge)
        cookie.expires = now + *maxAge;

    const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (same != cookies_.end()) {
        *same = std::move(cookie);
        return;
    }
    if (cookies_.size() == maxCookies)
        cookies_.erase(cookies_.begin());
    cookies_.push_back(std::move(cookie));
}

void CookieJar::removeExpired(std::int64_t now) {
    std::erase_if(cookies_, [now](const Cookie& c) { return c.expires && *c.expires <= now; });
}

std::string CookieJar::headerFor(const std::string& host, const std::string& requestPath) const {
    std::string header;
    for (const Cookie& c : cookies_) {
        if (c.secure || c.value.empty() || !requestPath.starts_with(c.path) ||
            !domainFits(c.domain, host))
            continue;
        if (!header.empty())
            header += "; ";
        header += c.name + "=" + c.value;
    }
    return header;
}

} // namespace quorva
