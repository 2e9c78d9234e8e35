// The settings file through the system's private-profile functions, under Wine.

#include "platform/error.h"
#include "settings/ini_settings_store.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorva {
namespace {

using testkit::TempDir;

std::string contentOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

class IniSettingsTest : public ::testing::Test {
protected:
    TempDir temp;
    std::string folder = settingsFolderFor(temp.path());
    std::string path = settingsFileIn(folder);
};

TEST_F(IniSettingsTest, FirstRunCreatesTheFolderReadsDefaultsAndWritesNothing) {
    createSettingsFolder(folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    IniSettingsStore store(path);
    Settings settings(store);
    EXPECT_EQ(settings.read(Setting::Site), "VERNO");
    EXPECT_EQ(settings.read(Setting::CardPrinter), "");
    EXPECT_EQ(settings.read(Setting::SpoolFolder), "c:\\windows\\system32\\spool\\printers");
    settings.setValue(Setting::Site, "VERNO");
    EXPECT_FALSE(settings.storeOnExit(Setting::Site, "VERNO"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(IniSettingsTest, AChangeIsWrittenUnderOptionsAndReadBack) {
    createSettingsFolder(folder);
    IniSettingsStore store(path);
    Settings settings(store);
    settings.setValue(Setting::Site, "VERNO");
    EXPECT_TRUE(settings.storeOnExit(Setting::Site, "Verno"));
    EXPECT_TRUE(settings.storeOnExit(Setting::SpoolFolder, "d:\\spool été"));

    const std::string content = contentOf(path);
    EXPECT_NE(content.find("[Options]"), std::string::npos) << content;
    EXPECT_NE(content.find("NomSite=Verno"), std::string::npos) << content;

    IniSettingsStore again(path);
    EXPECT_EQ(Settings(again).read(Setting::Site), "Verno");
    EXPECT_EQ(Settings(again).read(Setting::SpoolFolder), "d:\\spool été");
}

TEST_F(IniSettingsTest, EmptyValuesStayEmptyAndLongOnesAreCut) {
    createSettingsFolder(folder);
    std::ofstream(path, std::ios::binary)
        << "[Options]\r\nNomSite=\r\nNomURL=" << std::string(3000, 'u') << "\r\n";
    IniSettingsStore store(path);
    const Settings settings(store);
    EXPECT_EQ(settings.read(Setting::Site), "");
    EXPECT_EQ(settings.read(Setting::Url), std::string(kSettingMaxLength, 'u'));
    EXPECT_EQ(settings.read(Setting::CardPrinter), "");
}

TEST_F(IniSettingsTest, AKeyOfOptionsEvenEmptyIsTheUsersOwnOverTheMachines) {
    createSettingsFolder(folder);
    std::ofstream(path, std::ios::binary)
        << "[Autre]\r\nNomURL=x\r\n[Options]\r\nnomsite=\r\nNomImprimante=Evolis\r\n";
    IniSettingsStore store(path);

    MachineSettings machine;
    machine.fill("poste");
    const Settings settings(store, machine);
    EXPECT_EQ(settings.read(Setting::Site), "");
    EXPECT_EQ(settings.read(Setting::CardPrinter), "Evolis");
    EXPECT_EQ(settings.read(Setting::Url), "poste");
}

TEST_F(IniSettingsTest, AFileThatCannotBeWrittenIsReportedWithItsPath) {
    // The settings folder's place is taken by a file: nothing can be written under it.
    std::ofstream(folder, std::ios::binary) << "x";
    createSettingsFolder(folder);
    IniSettingsStore store(path);
    Settings settings(store);
    EXPECT_EQ(settings.read(Setting::Site), "VERNO");
    try {
        settings.storeOnExit(Setting::Site, "Verno");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Impossible d'écrire dans " + path);
    }
    EXPECT_EQ(settings.value(Setting::Site), "Verno");
}

TEST_F(IniSettingsTest, OnlyOneFolderLevelIsCreated) {
    const std::string deep = temp.file("a") + "\\Zentor";
    createSettingsFolder(deep); // no error
    EXPECT_FALSE(std::filesystem::exists(deep));
}

} // namespace
} // namespace quorva
