#pragma once

#include <string>

namespace quorva {

// The system's message for an error code, with trailing blanks, line ends and full stops removed.
std::string systemErrorText(unsigned long code);

} // namespace quorva
