#include "settings/proxy.h"
#include "settings/service_proxy.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

std::optional<ProxySetting> forHttp(const std::string& text) {
    return parseProxyText(text, "http");
}

TEST(ProxyText, SplitsHostAndPort) {
    EXPECT_EQ(forHttp("proxy.local:8080"), (ProxySetting{"proxy.local", 8080}));
    EXPECT_EQ(forHttp("proxy.local"), (ProxySetting{"proxy.local", 80}));
    EXPECT_EQ(forHttp("proxy.local:"), (ProxySetting{"proxy.local", 80}));
    EXPECT_EQ(forHttp("proxy.local:http"), (ProxySetting{"proxy.local", 80}));
    EXPECT_EQ(forHttp("proxy.local:80a"), (ProxySetting{"proxy.local", 80}));
    EXPECT_EQ(forHttp("proxy.local:99999999999"), (ProxySetting{"proxy.local", 80}));
    EXPECT_EQ(forHttp("10.0.0.1:3128:x"), (ProxySetting{"10.0.0.1", 3128}));
    // A ";" already in the text separates fields too, as the user's settings never hold one.
    EXPECT_EQ(forHttp("a;b:1"), (ProxySetting{"a", 80}));
    // One proxy for every protocol.
    EXPECT_EQ(parseProxyText("proxy.local:8080", "https"), (ProxySetting{"proxy.local", 8080}));
}

TEST(ProxyText, PerProtocolListGivesTheEntryOfTheScheme) {
    EXPECT_EQ(forHttp("http=proxy.local:3128;https=secure.local:443"),
              (ProxySetting{"proxy.local", 3128}));
    EXPECT_EQ(forHttp("https=secure.local:443; HTTP = proxy.local"),
              (ProxySetting{"proxy.local", 80}));
    EXPECT_EQ(forHttp("https=secure.local:443;ftp=f:21"), std::nullopt);
    EXPECT_EQ(forHttp("http=;https=secure.local:443"), std::nullopt);
    EXPECT_EQ(parseProxyText("http=proxy.local:3128;https=secure.local:443", "https"),
              (ProxySetting{"secure.local", 443}));
    EXPECT_EQ(parseProxyText("http=proxy.local:3128", "https"), std::nullopt);
}

// The service's choice, with WinHTTP's machine proxy given by the test.
class ServiceProxy : public ::testing::Test {
protected:
    ProxyChoice choose(const MachineValue& machine, const std::string& url) {
        return chooseServiceProxy(machine, url, [this] {
            ++winHttpReads;
            return winHttp;
        });
    }
    std::optional<std::string> winHttp;
    int winHttpReads = 0;
};

TEST_F(ServiceProxy, TheMachineValueDecidesAloneWhenGiven) {
    winHttp = "winhttp.local:8080";
    EXPECT_EQ(choose({"proxy.local:3128", SettingOrigin::Policy}, "https://reports/"),
              (ProxyChoice{ProxySetting{"proxy.local", 3128}, ProxySource::Policy}));
    EXPECT_EQ(choose({"https=secure.local:443", SettingOrigin::Machine}, "https://reports/"),
              (ProxyChoice{ProxySetting{"secure.local", 443}, ProxySource::Machine}));
    // No entry for plain HTTP: the upload goes direct, as the administrator wrote.
    EXPECT_EQ(choose({"https=secure.local:443", SettingOrigin::Machine}, "http://reports/"),
              (ProxyChoice{std::nullopt, ProxySource::Machine}));
    EXPECT_EQ(winHttpReads, 0);
}

TEST_F(ServiceProxy, WithoutOneWinHttpsEntryForTheSchemeIsTaken) {
    const MachineValue none;
    winHttp = "http=plain.local:3128 https=secure.local:443";
    EXPECT_EQ(choose(none, "HTTPS://reports/KelbBin/"),
              (ProxyChoice{ProxySetting{"secure.local", 443}, ProxySource::WinHttp}));
    EXPECT_EQ(choose(none, "http://reports/KelbBin/"),
              (ProxyChoice{ProxySetting{"plain.local", 3128}, ProxySource::WinHttp}));
    winHttp = "first.local:8080;second.local:8081";
    EXPECT_EQ(choose(none, "https://reports/"),
              (ProxyChoice{ProxySetting{"first.local", 8080}, ProxySource::WinHttp}));
    winHttp.reset();
    EXPECT_EQ(choose(none, "https://reports/"), ProxyChoice{});
}

} // namespace
} // namespace quorva
