// The service's settings against the real registry and WinHTTP under Wine.

#include "platform/registry.h"
#include "settings/machine_settings.h"
#include "settings/service_proxy.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winhttp.h>

namespace quorva {
namespace {

// The test prefix's own keys: nothing else there writes them.
class MachineKeys : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMachineSettingsKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMachineValuesKey);
    }
    SystemRegistry registry;
};

TEST_F(MachineKeys, TheMachinesValuesAreWrittenReadAndDeletedUnderThePolicy) {
    writeMachineSetting(registry, "NomURL", "http://machine/KelbBin/Kelb.dll/");
    writeMachineSetting(registry, "Proxy", "proxy.local:3128");
    HKEY policy = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMachineSettingsKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &policy, nullptr),
              ERROR_SUCCESS);
    const std::string site = "LYON";
    RegSetValueExA(policy, "NomSite", 0, REG_SZ, reinterpret_cast<const BYTE*>(site.c_str()),
                   static_cast<DWORD>(site.size() + 1));
    RegCloseKey(policy);

    MachineCaptureSettings settings = readMachineCaptureSettings(registry);
    EXPECT_EQ(settings.url,
              (MachineValue{"http://machine/KelbBin/Kelb.dll/", SettingOrigin::Machine}));
    EXPECT_EQ(settings.proxy, (MachineValue{"proxy.local:3128", SettingOrigin::Machine}));
    EXPECT_EQ(settings.site, (MachineValue{"LYON", SettingOrigin::Policy}));

    writeMachineSetting(registry, "Proxy", "");
    writeMachineSetting(registry, "Proxy", ""); // already gone: no error
    EXPECT_EQ(readMachineCaptureSettings(registry).proxy, MachineValue{});
}

// WinHTTP's machine proxy, set the way `netsh winhttp set proxy` sets it (Wine's netsh does not).
class WinHttpProxy : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(WinHttpGetDefaultProxyConfiguration(&saved_)); }
    void TearDown() override {
        WinHttpSetDefaultProxyConfiguration(&saved_);
        GlobalFree(saved_.lpszProxy);
        GlobalFree(saved_.lpszProxyBypass);
    }
    static bool set(DWORD accessType, const wchar_t* proxy, const wchar_t* bypass) {
        WINHTTP_PROXY_INFO info = {accessType, const_cast<wchar_t*>(proxy),
                                   const_cast<wchar_t*>(bypass)};
        return WinHttpSetDefaultProxyConfiguration(&info);
    }

private:
    WINHTTP_PROXY_INFO saved_ = {};
};

TEST_F(WinHttpProxy, ANamedProxyIsReadAndNoneGivesNothing) {
    ASSERT_TRUE(set(WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                    L"http=plain.local:3128;https=secure.local:443", L"*.local"));
    EXPECT_EQ(readWinHttpProxy(), "http=plain.local:3128;https=secure.local:443");

    ASSERT_TRUE(set(WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr));
    EXPECT_EQ(readWinHttpProxy(), std::nullopt);
}

} // namespace
} // namespace quorva
