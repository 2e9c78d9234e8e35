#include "printers/printer_attributes.h"

#include "platform/error.h"

#include <cstdio>

namespace quorva {

namespace {

constexpr int kHide = 0; // SW_HIDE

std::unique_ptr<RegistryKey> openPrinterKey(const Registry& registry,
                                            const std::string& printerName) {
    return registry.open(RegistryRoot::LocalMachine, printerKeyPath(printerName),
                         RegistryAccess::ReadWrite, false);
}

} // namespace

std::string printerKeyPath(const std::string& printerName) {
    return "\\System\\CurrentControlSet\\Control\\Print\\printers\\" + printerName + "\\";
}

std::optional<std::int64_t> readPrinterValue(const Registry& registry,
                                             const std::string& printerName,
                                             const std::string& valueName) {
    const auto key = openPrinterKey(registry, printerName);
    if (!key)
        return std::nullopt;
    const auto value = key->read(valueName);
    if (!value)
        return std::nullopt;
    if (value->type != RegistryType::Dword || value->empty)
        throw registryWrongType(valueName);
    return static_cast<std::int32_t>(value->number);
}

bool writePrinterValue(const Registry& registry, const std::string& printerName,
                       const std::string& valueName, std::int64_t value) {
    const auto key = openPrinterKey(registry, printerName);
    if (!key || !key->read(valueName))
        return false;
    if (!key->writeDword(valueName, static_cast<std::uint32_t>(value)))
        throw registryWriteFailed(valueName);
    return true;
}

KeepJobsView keepJobsViewFor(std::optional<std::int64_t> attributes) {
    KeepJobsView view;
    if (!attributes) {
        view.label = "Valeur Hexadecimale de Attributes = inconnue";
        return view;
    }
    // The stored 32 bits, as the registry holds them, rather than a sign-extended 64-bit form.
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(*attributes)));
    view.label = std::string("Valeur Hexadecimale de Attributes = ") + hex;
    const bool keeps = (*attributes & kKeepPrintedJobs) != 0;
    view.keepEnabled = !keeps;
    view.stopEnabled = keeps;
    return view;
}

std::optional<ItemColours> keepJobsItemColours(std::optional<std::int64_t> attributes) {
    if (!attributes || (*attributes & kKeepPrintedJobs) == 0)
        return std::nullopt;
    return ItemColours{Rgb{0, 0, 255}, Rgb{255, 255, 255}};
}

std::int64_t changedAttributes(std::int64_t attributes, KeepJobsChange change) {
    switch (change) {
    case KeepJobsChange::Toggle:
        return attributes ^ kKeepPrintedJobs;
    case KeepJobsChange::Keep:
        return attributes | kKeepPrintedJobs;
    case KeepJobsChange::Stop:
        return attributes & ~kKeepPrintedJobs;
    }
    return attributes;
}

std::string printersNotKeepingJobsWarning(const Registry& registry,
                                          const std::vector<std::string>& printerNames) {
    std::string names;
    for (const std::string& name : printerNames) {
        std::optional<std::int64_t> attributes;
        try {
            attributes = readPrinterValue(registry, name, kAttributesValue);
        } catch (const Error&) {
            continue; // not a number: whether it keeps its jobs is not known
        }
        if (attributes && (*attributes & kKeepPrintedJobs) == 0)
            names += (names.empty() ? "" : ", ") + name;
    }
    if (names.empty())
        return {};
    return "Attention : « Conserver les documents imprimés » est désactivé pour " + names +
           " ; une facture imprimée peut y disparaître avant d'être lue";
}

bool changeKeepPrintedJobs(const Registry& registry, const std::string& printerName,
                           KeepJobsChange change) {
    const auto attributes = readPrinterValue(registry, printerName, kAttributesValue);
    if (!attributes)
        return false;
    return writePrinterValue(registry, printerName, kAttributesValue,
                             changedAttributes(*attributes, change));
}

void restartSpooler(Shell& shell, const std::string& systemFolder) {
    // By its full path: a bare name would be looked for in the current folder first.
    const std::string net = systemFolder + "\\net.exe";
    shell.execute("", net, "stop spooler", kHide);
    shell.execute("", net, "start spooler", kHide);
}

} // namespace quorva
