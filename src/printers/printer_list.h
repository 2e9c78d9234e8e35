#pragma once

// The system's printers, by name.

#include <string>
#include <vector>

namespace quorva {

// The local printers and printer connections, in the system's order (the positions that
// CardPrinter::selectPrinterByIndex takes). Throws Error when the list cannot be read.
std::vector<std::string> systemPrinterNames();

} // namespace quorva
