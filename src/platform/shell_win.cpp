#include "platform/shell.h"

#include <windows.h>

#include <shellapi.h>

namespace quorva {

void SystemShell::execute(const std::string& verb, const std::string& file,
                          const std::string& parameters, int show) {
    ShellExecuteA(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                  parameters.empty() ? nullptr : parameters.c_str(), nullptr, show);
}

} // namespace quorva
