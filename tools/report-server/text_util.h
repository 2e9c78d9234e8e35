#pragma once

// percentEscaped, for the log and the stored text files.
#include "platform/percent_escape.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorva::report {

// A non-empty run of decimal digits, no sign, that fits 64 bits.
std::optional<std::uint64_t> parseDecimal(std::string_view text);

// The value as a refusal quotes it: cut after 40 bytes, "..." marking the cut.
std::string abbreviated(std::string_view value);

// ASCII letters compared without case.
bool equalsNoCase(std::string_view a, std::string_view b);

// The bytes of standard base64 text (padding optional); nothing when it is not base64.
std::optional<std::string> base64Decoded(std::string_view text);

} // namespace quorva::report
