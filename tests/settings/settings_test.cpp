#include "settings/settings.h"

#include "platform/error.h"
#include "settings/machine_settings.h"
#include "settings/memory_settings_store.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

using testkit::MemorySettingsStore;

TEST(SettingsFolder, ComesFromAppDataOrTheDriveRoot) {
    EXPECT_EQ(settingsFolderFor(std::string("C:\\Users\\desk\\AppData\\Roaming")),
              "C:\\Users\\desk\\AppData\\Roaming\\Zentor");
    EXPECT_EQ(settingsFolderFor(std::nullopt), "\\Zentor");
    EXPECT_EQ(settingsFileIn("\\Zentor"), "\\Zentor\\Quorva.ini");
}

TEST(SettingsRead, AbsentKeysGiveTheDefaults) {
    MemorySettingsStore store;
    const Settings settings(store);
    EXPECT_EQ(settings.read(Setting::CardPrinter), "");
    EXPECT_EQ(settings.read(Setting::Site), "VERNO");
    EXPECT_EQ(settings.read(Setting::Url), "http://127.0.0.1:8080/KelbBin/Kelb.dll/");
    EXPECT_EQ(settings.read(Setting::SpoolFolder), "c:\\windows\\system32\\spool\\printers");
}

TEST(SettingsRead, StoredValuesWinAndAnEmptyValueStaysEmpty) {
    MemorySettingsStore store;
    store.values = {{"NomImprimante", "Evolis Primacy"},
                    {"NomSite", ""},
                    {"NomURL", "http://reports:81/KelbBin/Kelb.dll/"},
                    {"DossierSpouleur", "d:\\spool"}};
    const Settings settings(store);
    EXPECT_EQ(settings.read(Setting::CardPrinter), "Evolis Primacy");
    EXPECT_EQ(settings.read(Setting::Site), "");
    EXPECT_EQ(settings.read(Setting::Url), "http://reports:81/KelbBin/Kelb.dll/");
    EXPECT_EQ(settings.read(Setting::SpoolFolder), "d:\\spool");
}

TEST(SettingsRead, MachineValuesReplaceTheDefaultsAndTheUsersOwnStillWin) {
    testkit::MemoryRegistry registry;
    auto& policy = registry.key(RegistryRoot::LocalMachine, kMachineSettingsKey).values;
    policy["NomSite"] = {RegistryType::String, "LYON"};
    policy["NomURL"] = {RegistryType::String, "http://reports:81/KelbBin/Kelb.dll/"};
    policy["DossierSpouleur"] = {RegistryType::Dword, "", 1}; // not a string: ignored
    MemorySettingsStore store;
    store.values["NomURL"] = ""; // the user's own value, even empty
    const Settings settings(store, readMachineSettings(registry));

    EXPECT_EQ(settings.read(Setting::Site), "LYON");
    EXPECT_EQ(settings.read(Setting::Url), "");
    EXPECT_EQ(settings.read(Setting::SpoolFolder), "c:\\windows\\system32\\spool\\printers");
    EXPECT_EQ(store.writes, 0);
}

TEST(SettingsRead, LongValuesAreCut) {
    MemorySettingsStore store;
    store.values["NomSite"] = std::string(3000, 'x');
    EXPECT_EQ(Settings(store).read(Setting::Site), std::string(kSettingMaxLength, 'x'));
}

TEST(SettingsExit, WritesOnlyAChangeAndComparesCaseSensitively) {
    MemorySettingsStore store;
    Settings settings(store);
    settings.setValue(Setting::Site, "VERNO");

    EXPECT_FALSE(settings.storeOnExit(Setting::Site, "VERNO"));
    EXPECT_EQ(store.writes, 0);
    EXPECT_EQ(store.reads, 0);

    EXPECT_TRUE(settings.storeOnExit(Setting::Site, "Verno"));
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(store.values.at("NomSite"), "Verno");
    EXPECT_EQ(settings.value(Setting::Site), "Verno");

    EXPECT_FALSE(settings.storeOnExit(Setting::Site, "Verno"));
    EXPECT_EQ(store.writes, 1);
}

TEST(SettingsExit, EachSettingGoesUnderItsOwnKey) {
    MemorySettingsStore store;
    Settings settings(store);
    settings.storeOnExit(Setting::CardPrinter, "Evolis");
    settings.storeOnExit(Setting::Url, "http://x/");
    settings.storeOnExit(Setting::SpoolFolder, "e:\\spool");
    EXPECT_EQ(store.values, (std::map<std::string, std::string>{{"DossierSpouleur", "e:\\spool"},
                                                                {"NomImprimante", "Evolis"},
                                                                {"NomURL", "http://x/"}}));
    EXPECT_EQ(settings.value(Setting::Site), "");
}

TEST(SettingsExit, TheCopyIsUpdatedBeforeTheWrite) {
    MemorySettingsStore store;
    Settings settings(store);
    std::string seenByCaller;
    settings.storeOnExit(Setting::SpoolFolder, "e:\\spool", [&] {
        seenByCaller = settings.value(Setting::SpoolFolder);
        EXPECT_EQ(store.writes, 0);
    });
    EXPECT_EQ(seenByCaller, "e:\\spool");
}

TEST(SettingsExit, AFailedWriteIsReportedAndKeepsTheCopy) {
    MemorySettingsStore store("Z:\\locked\\Quorva.ini");
    store.refuseWrites = true;
    Settings settings(store);
    bool beforeWriteRan = false;
    try {
        settings.storeOnExit(Setting::SpoolFolder, "e:\\spool", [&] { beforeWriteRan = true; });
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Impossible d'écrire dans Z:\\locked\\Quorva.ini");
    }
    EXPECT_TRUE(beforeWriteRan);
    EXPECT_EQ(settings.value(Setting::SpoolFolder), "e:\\spool");
    // Leaving the edit again without a change writes nothing.
    EXPECT_FALSE(settings.storeOnExit(Setting::SpoolFolder, "e:\\spool"));
    EXPECT_EQ(store.writes, 1);
}

} // namespace
} // namespace quorva
