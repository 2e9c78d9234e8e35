#pragma once

#include <string>

namespace quorva {

// Starting programs through the shell (ShellExecute).
class Shell {
public:
    virtual ~Shell() = default;
    // `verb` empty: the default verb. `show` is a Windows show command (SW_SHOW 5, SW_HIDE 0).
    // The outcome is not reported.
    virtual void execute(const std::string& verb, const std::string& file,
                         const std::string& parameters, int show) = 0;
};

#ifdef _WIN32
class SystemShell final : public Shell {
public:
    void execute(const std::string& verb, const std::string& file, const std::string& parameters,
                 int show) override;
};
#endif

} // namespace quorva
