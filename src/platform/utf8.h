#pragma once

// UTF-8, the job store's text encoding, beside the UTF-16 of the grid and Win32.

#include <string>
#include <string_view>

namespace quorva {

// Appends the UTF-8 encoding of a Unicode code point.
inline void appendUtf8(std::string& out, char32_t codePoint) {
    const auto unit = [&out](char32_t bits) { out += static_cast<char>(bits); };
    if (codePoint < 0x80) {
        unit(codePoint);
    } else if (codePoint < 0x800) {
        unit(0xC0 | (codePoint >> 6));
        unit(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        unit(0xE0 | (codePoint >> 12));
        unit(0x80 | ((codePoint >> 6) & 0x3F));
        unit(0x80 | (codePoint & 0x3F));
    } else {
        unit(0xF0 | (codePoint >> 18));
        unit(0x80 | ((codePoint >> 12) & 0x3F));
        unit(0x80 | ((codePoint >> 6) & 0x3F));
        unit(0x80 | (codePoint & 0x3F));
    }
}

// Wide text (UTF-16 on Windows, UTF-32 elsewhere) to UTF-8 and back; a lone surrogate or a
// malformed sequence becomes U+FFFD.
std::string toUtf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view text);

} // namespace quorva
