#pragma once

#include <string>

namespace quorva::report {

// Unicode code point of one byte of the DOS Western European code page 850, in which the dealer
// management system prints its invoices. Bytes below 0x80 are ASCII.
char32_t cp850ToUnicode(unsigned char byte);

// Appends the UTF-8 encoding of a Unicode code point.
void appendUtf8(std::string& out, char32_t codePoint);

} // namespace quorva::report
