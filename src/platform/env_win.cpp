#include "platform/env.h"

#include <windows.h>

namespace quorva {

std::optional<std::string> environmentVariable(const std::string& name) {
    const DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (needed == 0)
        return std::nullopt;
    std::string value(needed, '\0');
    const DWORD n = GetEnvironmentVariableA(name.c_str(), value.data(), needed);
    value.resize(n);
    return value;
}

} // namespace quorva
