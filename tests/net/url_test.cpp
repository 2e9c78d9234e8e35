#include "net/url.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

struct UrlCase {
    const char* text;
    Url expected;
};

class UrlParsing : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlParsing, SplitsIntoItsPieces) {
    const Url url = parseUrl(GetParam().text);
    const Url& e = GetParam().expected;
    EXPECT_EQ(url.protocol, e.protocol);
    EXPECT_EQ(url.username, e.username);
    EXPECT_EQ(url.password, e.password);
    EXPECT_EQ(url.host, e.host);
    EXPECT_EQ(url.port, e.port);
    EXPECT_EQ(url.path, e.path);
    EXPECT_EQ(url.document, e.document);
    EXPECT_EQ(url.params, e.params);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, UrlParsing,
    ::testing::Values(
        UrlCase{"http://h/KelbBin/Kelb.dll/ReportSPL",
                {"http", "", "", "h", "80", "/KelbBin/Kelb.dll/", "ReportSPL", ""}},
        UrlCase{"HTTP://h:8080/a/b", {"HTTP", "", "", "h", "8080", "/a/", "b", ""}},
        UrlCase{"https://h/x", {"https", "", "", "h", "443", "/", "x", ""}},
        UrlCase{"http://h:80/", {"http", "", "", "h", "80", "/", "", ""}},
        UrlCase{"ftp://h/x", {"ftp", "", "", "h", "", "/", "x", ""}},
        // Backslashes count as slashes.
        UrlCase{"http:\\\\srv\\Kelb\\Report",
                {"http", "", "", "srv", "80", "/Kelb/", "Report", ""}},
        UrlCase{"http://user:pw@h:81/d", {"http", "user", "pw", "h", "81", "/", "d", ""}},
        UrlCase{"http://user@h/d", {"http", "user", "", "h", "80", "/", "d", ""}},
        UrlCase{"http://a@b:c@h/", {"http", "a@b", "c", "h", "80", "/", "", ""}},
        // The path ends at the last slash before the parameters; the bookmark is dropped.
        UrlCase{"http://h/a/doc?x=1/2&y#top",
                {"http", "", "", "h", "80", "/a/", "doc", "?x=1/2&y"}},
        UrlCase{"http://h/a/doc#top?x", {"http", "", "", "h", "80", "/a/", "doc", ""}},
        UrlCase{"http://h", {"http", "", "", "h", "80", "/", "", ""}},
        UrlCase{"http://h?q", {"http", "", "", "h", "80", "/", "", "?q"}},
        UrlCase{"http://[::1]:8000/x", {"http", "", "", "[::1]", "8000", "/", "x", ""}},
        UrlCase{"http://h:/x", {"http", "", "", "h", "80", "/", "x", ""}},
        // Without "://" there is neither scheme nor host.
        UrlCase{"/KelbBin/ReportSPL?a", {"", "", "", "", "", "/KelbBin/", "ReportSPL", "?a"}},
        UrlCase{"ReportSPL", {"", "", "", "", "", "", "ReportSPL", ""}},
        UrlCase{"", {"", "", "", "", "", "", "", ""}}));

} // namespace
} // namespace quorva
