#pragma once

#include <stdexcept>
#include <string>

namespace quorva {

// A failure that ends the current event handler. The message is the French text the user sees.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of the standard error box: the message, with a period added when it has none.
std::string errorBoxText(const std::string& message);

} // namespace quorva
