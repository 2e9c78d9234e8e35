#pragma once

// Byte-wise text helpers for protocol texts (ASCII letters only change case).

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

} // namespace quorva
