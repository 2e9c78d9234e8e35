#include "printers/printer_attributes.h"

#include "platform/error.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

using testkit::MemoryRegistry;
using testkit::RecordingShell;

const std::string kPrinter = "Carte Bureau";
const std::string kKey = "\\System\\CurrentControlSet\\Control\\Print\\printers\\Carte Bureau\\";

RegistryValue dword(std::uint32_t number) {
    RegistryValue v;
    v.type = RegistryType::Dword;
    v.number = number;
    return v;
}

// The printer's key, created with the given Attributes value.
MemoryRegistry::Key& printerWith(MemoryRegistry& registry, std::uint32_t attributes) {
    auto& key = registry.key(RegistryRoot::LocalMachine, kKey);
    key.values["Attributes"] = dword(attributes);
    return key;
}

std::uint32_t stored(MemoryRegistry& registry) {
    return registry.key(RegistryRoot::LocalMachine, kKey).values.at("Attributes").number;
}

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

TEST(PrinterValue, ReadsTheSignedNumberOfThePrintersKey) {
    MemoryRegistry registry;
    printerWith(registry, 0x248);
    EXPECT_EQ(readPrinterValue(registry, kPrinter, "Attributes"), 0x248);
    printerWith(registry, 0x80000248u);
    EXPECT_EQ(readPrinterValue(registry, kPrinter, "Attributes"), -2147483064LL);
}

TEST(PrinterValue, MissingKeyOrValueReadsAsUnknownAndIsNeverWritten) {
    MemoryRegistry registry;
    EXPECT_EQ(readPrinterValue(registry, kPrinter, "Attributes"), std::nullopt);
    EXPECT_FALSE(writePrinterValue(registry, kPrinter, "Attributes", 0x100));
    EXPECT_FALSE(registry.hasKey(RegistryRoot::LocalMachine, kKey));

    auto& key = registry.key(RegistryRoot::LocalMachine, kKey);
    key.values["Priority"] = dword(1);
    EXPECT_EQ(readPrinterValue(registry, kPrinter, "Attributes"), std::nullopt);
    for (auto change : {KeepJobsChange::Toggle, KeepJobsChange::Keep, KeepJobsChange::Stop})
        EXPECT_FALSE(changeKeepPrintedJobs(registry, kPrinter, change));
    EXPECT_FALSE(writePrinterValue(registry, kPrinter, "Attributes", 0x100));
    EXPECT_EQ(key.values.count("Attributes"), 0u);
}

TEST(PrinterValue, WritesTheLowThirtyTwoBits) {
    MemoryRegistry registry;
    printerWith(registry, 0);
    EXPECT_TRUE(writePrinterValue(registry, kPrinter, "Attributes", 0x1'2345'6789LL));
    EXPECT_EQ(stored(registry), 0x23456789u);
    EXPECT_TRUE(writePrinterValue(registry, kPrinter, "Attributes", -1));
    EXPECT_EQ(stored(registry), 0xFFFFFFFFu);
}

TEST(PrinterValue, WrongTypeAndRefusedWriteAreErrors) {
    MemoryRegistry registry;
    auto& key = printerWith(registry, 0x248);
    key.refuseWrites = true;
    EXPECT_EQ(errorOf([&] { writePrinterValue(registry, kPrinter, "Attributes", 0x48); }),
              "Echec à la définition des données pour 'Attributes'");
    EXPECT_EQ(stored(registry), 0x248u);

    RegistryValue text;
    text.type = RegistryType::String;
    text.text = "584";
    key.values["Attributes"] = text;
    EXPECT_EQ(errorOf([&] { readPrinterValue(registry, kPrinter, "Attributes"); }),
              "Type de données incorrect pour 'Attributes'");
    EXPECT_EQ(errorOf([&] { changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Stop); }),
              "Type de données incorrect pour 'Attributes'");
}

TEST(KeepJobsView, LabelAndButtons) {
    EXPECT_EQ(keepJobsViewFor(0x348),
              (KeepJobsView{"Valeur Hexadecimale de Attributes = 348", false, true}));
    // 0x248 has 0x200 set, not the keep-printed-jobs bit.
    EXPECT_EQ(keepJobsViewFor(0x248),
              (KeepJobsView{"Valeur Hexadecimale de Attributes = 248", true, false}));
    EXPECT_EQ(keepJobsViewFor(0x48),
              (KeepJobsView{"Valeur Hexadecimale de Attributes = 48", true, false}));
    EXPECT_EQ(keepJobsViewFor(0xABCEEF),
              (KeepJobsView{"Valeur Hexadecimale de Attributes = ABCEEF", true, false}));
    EXPECT_EQ(keepJobsViewFor(0),
              (KeepJobsView{"Valeur Hexadecimale de Attributes = 0", true, false}));
    EXPECT_EQ(keepJobsViewFor(static_cast<std::int32_t>(0x80000148u)),
              (KeepJobsView{"Valeur Hexadecimale de Attributes = 80000148", false, true}));
    EXPECT_EQ(keepJobsViewFor(std::nullopt),
              (KeepJobsView{"Valeur Hexadecimale de Attributes = inconnue", false, false}));
}

TEST(KeepJobsView, BlueOnWhiteOnlyForAPrinterThatKeepsItsJobs) {
    const ItemColours blueOnWhite{{0, 0, 255}, {255, 255, 255}};
    EXPECT_EQ(keepJobsItemColours(0x348), blueOnWhite);
    EXPECT_EQ(keepJobsItemColours(0x100), blueOnWhite);
    EXPECT_EQ(keepJobsItemColours(0x248), std::nullopt);
    EXPECT_EQ(keepJobsItemColours(0x48), std::nullopt);
    EXPECT_EQ(keepJobsItemColours(std::nullopt), std::nullopt);
}

TEST(KeepPrintedJobs, StopClearsTheBitAndKeepsTheOthers) {
    MemoryRegistry registry;
    printerWith(registry, 0x348);
    EXPECT_TRUE(changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Stop));
    EXPECT_EQ(stored(registry), 0x248u);
    EXPECT_EQ(keepJobsItemColours(readPrinterValue(registry, kPrinter, "Attributes")),
              std::nullopt);
}

TEST(KeepPrintedJobs, DoubleClickTogglesBackAndForth) {
    MemoryRegistry registry;
    printerWith(registry, 0x48);
    changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Toggle);
    EXPECT_EQ(stored(registry), 0x148u);
    changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Toggle);
    EXPECT_EQ(stored(registry), 0x48u);
}

TEST(KeepPrintedJobs, KeepAndStopWriteAlsoWhenNothingChanges) {
    MemoryRegistry registry;
    auto& key = printerWith(registry, 0x48);
    key.refuseWrites = true; // a write shows as an error
    EXPECT_EQ(errorOf([&] { changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Stop); }),
              "Echec à la définition des données pour 'Attributes'");
    key.refuseWrites = false;

    EXPECT_TRUE(changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Keep));
    EXPECT_EQ(stored(registry), 0x148u);
    EXPECT_TRUE(changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Keep));
    EXPECT_EQ(stored(registry), 0x148u);
}

TEST(KeepPrintedJobs, OtherBitsAndTheSignBitCarriedThrough) {
    const std::int64_t negative = static_cast<std::int32_t>(0x80000048u);
    EXPECT_EQ(changedAttributes(negative, KeepJobsChange::Keep),
              static_cast<std::int32_t>(0x80000148u));
    EXPECT_EQ(changedAttributes(negative, KeepJobsChange::Toggle),
              static_cast<std::int32_t>(0x80000148u));
    EXPECT_EQ(changedAttributes(0xFFFF, KeepJobsChange::Stop), 0xFEFF);
    EXPECT_EQ(changedAttributes(0xFEFF, KeepJobsChange::Stop), 0xFEFF);

    MemoryRegistry registry;
    printerWith(registry, 0x80000048u);
    changeKeepPrintedJobs(registry, kPrinter, KeepJobsChange::Keep);
    EXPECT_EQ(stored(registry), 0x80000148u);
}

TEST(Spooler, RestartStopsThenStartsTheSystemFoldersNetHidden) {
    RecordingShell shell;
    restartSpooler(shell, "C:\\Windows\\system32");
    ASSERT_EQ(shell.calls.size(), 2u);
    for (const auto& call : shell.calls) {
        EXPECT_EQ(call.verb, "");
        EXPECT_EQ(call.file, "C:\\Windows\\system32\\net.exe");
        EXPECT_EQ(call.show, 0);
    }
    EXPECT_EQ(shell.calls[0].parameters, "stop spooler");
    EXPECT_EQ(shell.calls[1].parameters, "start spooler");
}

// Only the printers known not to keep their jobs are named; one that cannot be read is not.
TEST(KeepPrintedJobs, TheStartWarningNamesThePrintersThatDoNotKeepTheirJobs) {
    MemoryRegistry registry;
    const auto printer = [&](const std::string& name, std::uint32_t attributes) {
        registry.key(RegistryRoot::LocalMachine, printerKeyPath(name)).values["Attributes"] =
            dword(attributes);
    };
    printer("Factures", 0x248);
    printer("Atelier", 0x340);
    EXPECT_EQ(printersNotKeepingJobsWarning(registry, {"Atelier", "Factures", "Réseau"}),
              "Attention : « Conserver les documents imprimés » est désactivé pour Factures ; "
              "une facture imprimée peut y disparaître avant d'être lue");
    printer("Factures", 0x348);
    EXPECT_EQ(printersNotKeepingJobsWarning(registry, {"Atelier", "Factures", "Réseau"}), "");
}

} // namespace

void PrintTo(const KeepJobsView& view, std::ostream* out) {
    *out << '"' << view.label << "\" keep=" << view.keepEnabled << " stop=" << view.stopEnabled;
}

} // namespace quorva
