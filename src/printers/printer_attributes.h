#pragma once

// The spooler's keep-printed-jobs attribute of a printer (bit 0x100 of the registry value
// "Attributes" under the printer's key) and the settings tab's view of it.
//
// A read gives no value when the printer's key cannot be opened (usually for want of
// administrator rights) or holds no "Attributes" value. That state is shown as such: the label
// says the value is unknown, neither the keep nor the stop button is offered, the item keeps the
// list's colours, and nothing is written. A stand-in number would have the tab claim a state that
// is not stored.

#include "platform/registry.h"
#include "platform/shell.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorva {

inline constexpr std::int64_t kKeepPrintedJobs = 0x100;
inline constexpr const char* kAttributesValue = "Attributes";

// HKEY_LOCAL_MACHINE key of a printer: "\System\CurrentControlSet\Control\Print\printers\<name>\".
std::string printerKeyPath(const std::string& printerName);

// The stored 32-bit number, sign-extended; nothing when the key or the value is missing. A value
// that is not a 32-bit number throws Error "Type de données incorrect pour '<value name>'".
std::optional<std::int64_t> readPrinterValue(const Registry& registry,
                                             const std::string& printerName,
                                             const std::string& valueName);

// Writes the low 32 bits of `value` when the key and the value exist (neither is ever created);
// returns whether it wrote. A refused write throws Error "Echec à la définition des données pour
// '<value name>'".
bool writePrinterValue(const Registry& registry, const std::string& printerName,
                       const std::string& valueName, std::int64_t value);

// attributesLabel and the two buttons after a selection.
struct KeepJobsView {
    std::string label;
    bool keepEnabled = false; // keepJobsButton
    bool stopEnabled = false; // stopKeepingJobsButton

    bool operator==(const KeepJobsView&) const = default;
};
KeepJobsView keepJobsViewFor(std::optional<std::int64_t> attributes);

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const Rgb&) const = default;
};
struct ItemColours {
    Rgb text;
    Rgb fill;

    bool operator==(const ItemColours&) const = default;
};
// Blue on white for a printer that keeps its jobs; nothing when the list's own colours stay.
std::optional<ItemColours> keepJobsItemColours(std::optional<std::int64_t> attributes);

enum class KeepJobsChange {
    Toggle, // double click
    Keep,   // keepJobsButton
    Stop,   // stopKeepingJobsButton
};
std::int64_t changedAttributes(std::int64_t attributes, KeepJobsChange change);

// Reads the printer's Attributes, changes bit 0x100 and writes the result back, also when it did
// not change. Returns whether it wrote.
bool changeKeepPrintedJobs(const Registry& registry, const std::string& printerName,
                           KeepJobsChange change);

// What the service says at start when printers of `printerNames` do not keep printed jobs: the
// spooler deletes such a job once printed, maybe before capture has read it. Empty when each
// printer keeps them or cannot be read.
std::string printersNotKeepingJobsWarning(const Registry& registry,
                                          const std::vector<std::string>& printerNames);

// "net stop spooler" then at once "net start spooler", hidden, with the net.exe of the system
// folder (`systemFolder`, as GetSystemDirectory gives it); neither is waited for.
void restartSpooler(Shell& shell, const std::string& systemFolder);

} // namespace quorva
