#include "report-server/text_util.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quorva::report {

namespace {

constexpr std::size_t quotedLength = 40;

} // namespace

std::optional<std::uint64_t> parseDecimal(std::string_view text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string abbreviated(std::string_view value) {
    if (value.size() <= quotedLength)
        return std::string(value);
    return std::string(value.substr(0, quotedLength)) + "...";
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> base64Decoded(std::string_view text) {
    static constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const auto digit = alphabet.find(c);
        if (digit == std::string_view::npos)
            return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(digit);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

} // namespace quorva::report
