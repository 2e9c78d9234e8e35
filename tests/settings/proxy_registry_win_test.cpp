// Proxy detection against the real registry under Wine. The user's values are put back after
// each test.

#include "platform/error.h"
#include "platform/registry.h"
#include "settings/proxy.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <vector>

namespace quorva {
namespace {

constexpr const char* kKey = kInternetSettingsKey + 1; // without the leading backslash

struct SavedValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

class ProxyRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key_, nullptr),
                  ERROR_SUCCESS);
        server_ = save("ProxyServer");
        enable_ = save("ProxyEnable");
    }
    void TearDown() override {
        restore("ProxyServer", server_);
        restore("ProxyEnable", enable_);
        RegCloseKey(key_);
    }

    void setText(const char* name, const std::string& text) {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    void setNumber(const char* name, DWORD value) {
        RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }
    void remove(const char* name) { RegDeleteValueA(key_, name); }

    std::string errorText() {
        try {
            detectProxy(registry_);
        } catch (const Error& e) {
            return e.what();
        }
        return "(no error)";
    }

    SystemRegistry registry_;

private:
    std::optional<SavedValue> save(const char* name) {
        SavedValue value;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        value.data.resize(size);
        RegQueryValueExA(key_, name, nullptr, &value.type, value.data.data(), &size);
        return value;
    }
    void restore(const char* name, const std::optional<SavedValue>& value) {
        if (!value)
            RegDeleteValueA(key_, name);
        else
            RegSetValueExA(key_, name, 0, value->type, value->data.data(),
                           static_cast<DWORD>(value->data.size()));
    }

    HKEY key_ = nullptr;
    std::optional<SavedValue> server_;
    std::optional<SavedValue> enable_;
};

TEST_F(ProxyRegistryTest, ReadsTheUsersProxy) {
    setText("ProxyServer", "proxy.local:8080");
    setNumber("ProxyEnable", 1);
    EXPECT_EQ(detectProxy(registry_), (ProxySetting{"proxy.local", 8080}));

    setText("ProxyServer", "proxy.local");
    EXPECT_EQ(detectProxy(registry_), (ProxySetting{"proxy.local", 80}));

    setNumber("ProxyEnable", 0);
    EXPECT_EQ(detectProxy(registry_), std::nullopt);

    remove("ProxyServer");
    remove("ProxyEnable");
    EXPECT_EQ(detectProxy(registry_), std::nullopt);
}

TEST_F(ProxyRegistryTest, ReportsMissingAndMistypedValues) {
    setText("ProxyServer", "proxy.local:8080");
    remove("ProxyEnable");
    EXPECT_EQ(errorText(), "Echec à l'obtention des données pour 'ProxyEnable'");
    setText("ProxyEnable", "1");
    EXPECT_EQ(errorText(), "Type de données incorrect pour 'ProxyEnable'");
    setNumber("ProxyEnable", 1);
    setNumber("ProxyServer", 1);
    EXPECT_EQ(errorText(), "Type de données incorrect pour 'ProxyServer'");
}

} // namespace
} // namespace quorva
