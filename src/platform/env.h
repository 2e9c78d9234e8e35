#pragma once

#include <optional>
#include <string>

namespace quorva {

// The value of a process environment variable (ANSI), or nothing when it is not set.
std::optional<std::string> environmentVariable(const std::string& name);

} // namespace quorva
