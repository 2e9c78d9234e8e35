#pragma once

// Facts about the running program that both the desk and the capture service report.

#include <string>

namespace quorva {

// The version of the running program from its version resource; empty when it has none.
std::string programVersion();

// Whether the calling thread's token holds the Administrators group (enabled, so not a token
// filtered by UAC).
bool hasAdministratorRights();

} // namespace quorva
