#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace quorva {

std::string systemErrorText(unsigned long code) {
    std::string text = std::strerror(static_cast<int>(code));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '.'))
        text.pop_back();
    return text;
}

bool isSharingRefusal(unsigned long) {
    return false;
}

bool isDiskFull(unsigned long code) {
    return code == ENOSPC || code == EDQUOT;
}

} // namespace quorva
