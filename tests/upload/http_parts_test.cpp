#include "upload/http_answer.h"
#include "upload/http_cookies.h"
#include "upload/http_request.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

TEST(HeaderFolding, BreaksLongLinesAfterBlanksAndCommas) {
    const std::string w70(70, 'w');
    const struct {
        std::string line;
        std::string folded;
    } cases[] = {
        {"Host: h", "Host: h\r\n"},
        // 78 characters stay on one line.
        {"X: " + std::string(75, 'v'), "X: " + std::string(75, 'v') + "\r\n"},
        // The last break within 78 characters; trailing blanks cut; one blank to continue.
        {"X: " + w70 + " tail  end", "X: " + w70 + "\r\n tail  end\r\n"},
        {"X: " + w70 + ",tails", "X: " + w70 + ",\r\n tails\r\n"},
        {"X: " + w70 + "\t\t  tail", "X: " + w70 + "\r\n tail\r\n"},
        // No break within 78: the first one after.
        {"X:" + std::string(90, 'v') + " tail", "X:" + std::string(90, 'v') + "\r\n tail\r\n"},
        // No break at all: left long.
        {"X:" + std::string(90, 'v'), "X:" + std::string(90, 'v') + "\r\n"},
        // Blanks that end a long line are cut, not moved to a line of their own.
        {"X: " + w70 + "  " + std::string(10, ' '), "X: " + w70 + "\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(foldHeaderLine(c.line), c.folded) << c.line;
}

TEST(HeaderFolding, EveryPieceOfAListStaysWithin78Characters) {
    std::string line = "Cookie: ";
    for (int i = 0; i < 40; ++i)
        line += (i ? "; k" : "k") + std::to_string(i) + "=value" + std::to_string(i);
    const std::string folded = foldHeaderLine(line);
    std::string joined;
    for (std::size_t start = 0; start < folded.size();) {
        const auto end = folded.find("\r\n", start);
        const std::string piece = folded.substr(start, end - start);
        EXPECT_LE(piece.size(), 78u) << piece;
        EXPECT_NE(piece.back(), ' ');
        // Each break was one blank, which now starts the continuation line.
        joined += piece;
        start = end + 2;
    }
    EXPECT_EQ(joined, line);
}

TEST(Base64, EncodesWithPadding) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode(":"), "Og==");
    EXPECT_EQ(base64Encode("SPL:"), "U1BMOg==");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode("\xff\xfe"), "//4=");
}

TEST(StatusCode, IsTheSecondWordReadAsADecimalNumber) {
    EXPECT_EQ(parseStatusCode("HTTP/1.0 200 OK"), 200);
    EXPECT_EQ(parseStatusCode("HTTP/1.1  404"), 404);
    EXPECT_EQ(parseStatusCode("\tHTTP/1.1\t302\tFound"), 302);
    EXPECT_EQ(parseStatusCode("HTTP/1.0 20x OK"), -1);
    EXPECT_EQ(parseStatusCode("HTTP/1.0 -200 OK"), -1);
    EXPECT_EQ(parseStatusCode("HTTP/1.0 99999999999 OK"), -1);
    EXPECT_EQ(parseStatusCode("HTTP/1.0"), -1);
    EXPECT_EQ(parseStatusCode(""), -1);
}

TEST(CookieDate, ReadsTheFormsServersWrite) {
    const std::int64_t sunday = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(parseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), sunday);
    EXPECT_EQ(parseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), sunday);
    EXPECT_EQ(parseCookieDate("Sun Nov  6 08:49:37 1994"), sunday);
    EXPECT_EQ(parseCookieDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
    EXPECT_EQ(parseCookieDate("Wed, 31 Dec 2036 23:59:59 GMT"), 2114380799);
    EXPECT_EQ(parseCookieDate("31 Feb 2020 00:00:00"), std::nullopt);
    EXPECT_EQ(parseCookieDate("Sun, 06 Nov 1994"), std::nullopt);
    EXPECT_EQ(parseCookieDate("tomorrow"), std::nullopt);
    EXPECT_EQ(parseCookieDate(""), std::nullopt);
}

TEST(CookieManager, DomainMustFitTheHostItCameFromAndTheHostItGoesTo) {
    CookieJar cookies;
    const std::int64_t now = 1000;
    cookies.store("a=1; Domain=.example.com", "www.Example.com", "/", now);
    cookies.store("b=2; Domain=other.com", "www.example.com", "/", now);
    cookies.store("c=3; Domain=ample.com", "www.example.com", "/", now);
    cookies.store("d=4", "www.example.com", "/", now);
    cookies.store("e=5; Domain=0.0.1", "127.0.0.1", "/", now);
    cookies.store("f=6", "127.0.0.1", "/", now);
    EXPECT_EQ(cookies.headerFor("www.example.com", "/x"), "a=1; d=4");
    EXPECT_EQ(cookies.headerFor("EXAMPLE.com", "/x"), "a=1");
    EXPECT_EQ(cookies.headerFor("a.www.example.com", "/x"), "a=1; d=4");
    EXPECT_EQ(cookies.headerFor("badexample.com", "/x"), "");
    EXPECT_EQ(cookies.headerFor("127.0.0.1", "/x"), "f=6");
    EXPECT_EQ(cookies.headerFor("9.127.0.0.1", "/x"), "");
}

TEST(CookieManager, PathIsAPrefixOfTheRequestPathAndDefaultsToTheRequestFolder) {
    CookieJar cookies;
    cookies.store("folder=1", "h", "/KelbBin/Kelb.dll/", 0);
    cookies.store("root=1; Path=/", "h", "/KelbBin/Kelb.dll/", 0);
    cookies.store("pdf=1; Path=/KelbBin/Kelb.dll/ReportPDF", "h", "/KelbBin/Kelb.dll/", 0);
    EXPECT_EQ(cookies.headerFor("h", "/KelbBin/Kelb.dll/ReportSPL"), "folder=1; root=1");
    EXPECT_EQ(cookies.headerFor("h", "/KelbBin/Kelb.dll/ReportPDF"), "folder=1; root=1; pdf=1");
    EXPECT_EQ(cookies.headerFor("h", "/other"), "root=1");
}

TEST(CookieManager, ExpiredCookiesAreRemovedAndMaxAgeWinsOverExpires) {
    CookieJar cookies;
    const std::int64_t now = 784111777;
    cookies.store("past=1; Expires=Sun, 06 Nov 1994 08:49:36 GMT", "h", "/", now);
    cookies.store("future=1; expires=Sun, 06 Nov 1994 08:49:39 GMT", "h", "/", now);
    cookies.store("aged=1; Max-Age=10; Expires=Sun, 06 Nov 1994 08:00:00 GMT", "h", "/", now);
    cookies.store("session=1", "h", "/", now);
    cookies.removeExpired(now);
    EXPECT_EQ(cookies.headerFor("h", "/"), "future=1; aged=1; session=1");
    cookies.removeExpired(now + 2);
    EXPECT_EQ(cookies.headerFor("h", "/"), "aged=1; session=1");
    // Setting a cookie again with no time left deletes it.
    cookies.store("session=1; Max-Age=0", "h", "/", now + 3);
    cookies.removeExpired(now + 3);
    EXPECT_EQ(cookies.headerFor("h", "/"), "aged=1");
}

TEST(CookieManager, MalformedValuesAreIgnored) {
    CookieJar cookies;
    for (const char* value : {"", "noequals", "=nameless", " ; Path=/", "x=1; Domain=other"})
        cookies.store(value, "h", "/", 0);
    cookies.store("kept = v ; Max-Age=soon; Expires=never; Path=relative", "h", "/a/", 0);
    EXPECT_EQ(cookies.headerFor("h", "/a/b"), "kept=v");
    EXPECT_EQ(cookies.headerFor("h", "/b"), "");
}

TEST(CookieManager, ControlCharactersAndOversizedCookiesAreDropped) {
    CookieJar cookies;
    using namespace std::string_literals;
    for (const auto& setCookie : {"cr=a\rInjected: 1"s, "lf=a\nb"s, "nul=a\0b"s, "ta\tb=1"s})
        cookies.store(setCookie, "h", "/", 0);
    cookies.store("big=" + std::string(CookieJar::maxCookieBytes, 'v'), "h", "/", 0);
    cookies.store("ok=1", "h", "/", 0);
    EXPECT_EQ(cookies.headerFor("h", "/x"), "ok=1");
}

TEST(CookieManager, JarKeepsTheNewestCookiesUpToItsLimit) {
    CookieJar cookies;
    for (std::size_t i = 0; i < CookieJar::maxCookies + 10; ++i)
        cookies.store("c" + std::to_string(i) + "=v", "h", "/", 0);
    EXPECT_EQ(cookies.size(), CookieJar::maxCookies);
    EXPECT_EQ(cookies.headerFor("h", "/x").rfind("c10=v; c11=v", 0), 0u);
}

} // namespace
} // namespace quorva
