#pragma once

// Byte-wise text helpers for protocol texts (ASCII letters only change case).

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace quorva {

char lowerAscii(char c);
std::string lowerAscii(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);
// Whether the text holds a byte below 0x20 or 0x7F (CR, LF, tab, NUL...): such text cannot go
// into a protocol line without changing its meaning.
bool hasControlCharacter(std::string_view text);
// Without leading and trailing spaces and tabs.
std::string_view trimBlanks(std::string_view text);

// The number the whole text writes in that base, with nothing before or after it; nothing when
// the text is anything else or the number does not fit T.
template <typename T> std::optional<T> parseWholeNumber(std::string_view text, int base = 10) {
    if (text.empty())
        return std::nullopt;
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace quorva
