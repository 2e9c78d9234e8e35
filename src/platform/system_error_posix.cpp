#include "platform/system_error.h"

#include <cstring>

namespace quorva {

std::string systemErrorText(unsigned long code) {
    std::string text = std::strerror(static_cast<int>(code));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '.'))
        text.pop_back();
    return text;
}

} // namespace quorva
