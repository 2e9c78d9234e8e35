#pragma once

// Byte-wise text helpers for protocol texts (ASCII letters only change case).

#include <string>
#include <string_view>

namespace quorva {

char lowerAscii(char c);
std::string lowerAscii(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);
// Without leading and trailing spaces and tabs.
std::string_view trimBlanks(std::string_view text);

} // namespace quorva
