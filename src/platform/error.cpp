#include "platform/error.h"

namespace quorva {

std::string errorBoxText(const std::string& message) {
    if (!message.empty() && message.back() == '.')
        return message;
    return message + ".";
}

} // namespace quorva
