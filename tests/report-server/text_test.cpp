#include "platform/cp850.h"
#include "platform/utf8.h"
#include "report-server/page_layout.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

namespace quorva::report {
namespace {

// The system's own converter is an independent reference for all 256 bytes.
char32_t iconvCp850(unsigned char byte) {
    const iconv_t cd = iconv_open("UTF-32LE", "CP850");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    char in = static_cast<char>(byte);
    unsigned char out[4] = {};
    char* inPtr = &in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    return char32_t{out[0]} | char32_t{out[1]} << 8 | char32_t{out[2]} << 16;
}

TEST(Cp850Test, EveryByteMatchesTheSystemConverter) {
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(cp850ToUnicode(static_cast<unsigned char>(byte)),
                  iconvCp850(static_cast<unsigned char>(byte)))
            << "byte 0x" << std::hex << byte;
}

TEST(Cp850Test, Utf8EncodingOfEachLength) {
    std::string out;
    for (const char32_t c : {U'A', U'\u00E9', U'\u2550', U'\U0001F600'})
        appendUtf8(out, c);
    EXPECT_EQ(out, "A\xC3\xA9\xE2\x95\x90\xF0\x9F\x98\x80");
}

std::string lines(int count, const std::string& text) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text + std::to_string(i) + "\r\n";
    return out;
}

struct LayoutCase {
    const char* name;
    std::string input;
    std::vector<std::size_t> linesPerPage; // expected page sizes
    std::vector<std::string> firstLines;   // expected first lines of page 1 (prefix)
};

TEST(PageLayoutTest, LinesAndPages) {
    const std::vector<LayoutCase> cases = {
        {"empty file gives one blank page", "", {0}, {}},
        {"CR LF lines", "a\r\nb\r\n", {2}, {"a", "b"}},
        {"last line without line end", "a\r\nb", {2}, {"a", "b"}},
        {"empty lines are kept", "\r\n\r\nx\r\n", {3}, {"", "", "x"}},
        {"lone CR is dropped", "a\rb\r\n", {1}, {"ab"}},
        {"tabs stop every eight columns", "\tx\r\nab\tc\r\n", {2}, {"        x", "ab      c"}},
        {"other control bytes are ignored",
         std::string("a\x1B\x00\x7F"
                     "b",
                     5),
         {1},
         {"ab"}},
        {"CP850 accents and box drawing",
         "\x82t\x82 N\xF8\r\n\xC9\xCD\xBB",
         {2},
         {"\xC3\xA9t\xC3\xA9 N\xC2\xB0", "\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97"}},
        {"form feed ends a page", "p1\r\n\fp2\r\n", {1, 1}, {"p1"}},
        {"form feed inside a line", "a\fb", {1, 1}, {"a"}},
        {"leading form feed adds no page", "\fa\r\n", {1}, {"a"}},
        {"repeated form feeds add no blank page", "a\r\n\f\f\fb\r\n", {1, 1}, {"a"}},
        {"trailing form feed adds no page", "a\r\n\f", {1}, {"a"}},
        {"67 lines spill onto a second page", lines(67, "l"), {66, 1}, {"l0"}},
        {"form feed after a full page adds no blank page",
         lines(66, "l") + "\f" + lines(1, "m"),
         {66, 1},
         {"l0"}},
        {"132 lines fill exactly two pages", lines(132, "l"), {66, 66}, {"l0"}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Page> pages = layoutPages(c.input);
        std::vector<std::size_t> sizes;
        for (const Page& page : pages)
            sizes.push_back(page.size());
        EXPECT_EQ(sizes, c.linesPerPage);
        const Page& first = pages.front();
        EXPECT_EQ(Page(first.begin(), first.begin() + static_cast<long>(c.firstLines.size())),
                  c.firstLines);
    }
}

TEST(PageLayoutTest, PageBreakKeepsLineOrder) {
    const std::vector<Page> pages = layoutPages(lines(70, "l") + "\fend");
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].back(), "l65");
    EXPECT_EQ(pages[1], (Page{"l66", "l67", "l68", "l69"}));
    EXPECT_EQ(pages[2], (Page{"end"}));
}

} // namespace
} // namespace quorva::report
