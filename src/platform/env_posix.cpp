#include "platform/env.h"

#include <cstdlib>

namespace quorva {

std::optional<std::string> environmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

} // namespace quorva
