#include "settings/machine_settings.h"

#include "platform/error.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

class MachineCaptureSettingsTest : public ::testing::Test {
protected:
    std::map<std::string, RegistryValue>& policy() {
        return registry.key(RegistryRoot::LocalMachine, kMachineSettingsKey).values;
    }
    testkit::MemoryRegistry::Key& machine() {
        return registry.key(RegistryRoot::LocalMachine, kMachineValuesKey);
    }
    testkit::MemoryRegistry registry;
};

TEST_F(MachineCaptureSettingsTest, PolicyWinsThenTheMachineThenTheDefault) {
    policy()["NomURL"] = {RegistryType::String, "http://policy/KelbBin/Kelb.dll/"};
    policy()["NomSite"] = {RegistryType::String, ""}; // empty: no value at this level
    machine().values["NomURL"] = {RegistryType::String, "http://machine/KelbBin/Kelb.dll/"};
    machine().values["NomSite"] = {RegistryType::ExpandString, "LYON"};
    machine().values["DossierSpouleur"] = {RegistryType::Dword, "", 1}; // not a string
    machine().values["Proxy"] = {RegistryType::String, "proxy.local:3128"};

    const MachineCaptureSettings settings = readMachineCaptureSettings(registry);
    EXPECT_EQ(settings.url,
              (MachineValue{"http://policy/KelbBin/Kelb.dll/", SettingOrigin::Policy}));
    EXPECT_EQ(settings.site, (MachineValue{"LYON", SettingOrigin::Machine}));
    EXPECT_EQ(settings.spoolFolder,
              (MachineValue{"c:\\windows\\system32\\spool\\printers", SettingOrigin::Default}));
    EXPECT_EQ(settings.proxy, (MachineValue{"proxy.local:3128", SettingOrigin::Machine}));
}

TEST_F(MachineCaptureSettingsTest, AWriteGoesToTheMachineKeyAndAnEmptyOneDeletes) {
    writeMachineSetting(registry, "Proxy", "proxy.local:3128");
    EXPECT_EQ(readMachineCaptureSettings(registry).proxy,
              (MachineValue{"proxy.local:3128", SettingOrigin::Machine}));
    EXPECT_FALSE(registry.hasKey(RegistryRoot::LocalMachine, kMachineSettingsKey));

    writeMachineSetting(registry, "Proxy", "");
    EXPECT_EQ(machine().values.count("Proxy"), 0U);
    EXPECT_EQ(readMachineCaptureSettings(registry).proxy, MachineValue{});

    machine().refuseWrites = true;
    try {
        writeMachineSetting(registry, "NomSite", "LYON");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Echec à la définition des données pour 'NomSite'");
    }
}

} // namespace
} // namespace quorva
