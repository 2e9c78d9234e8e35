#pragma once

#include "platform/cp850.h"

#include <string>

namespace quorva::report {

// Appends the UTF-8 encoding of a Unicode code point.
void appendUtf8(std::string& out, char32_t codePoint);

} // namespace quorva::report
