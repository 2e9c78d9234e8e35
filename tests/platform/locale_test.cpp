#include "platform/error.h"
#include "platform/locale.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

TEST(FixedLocaleTest, LowerCasesAnsiLettersOnly) {
    const FixedLocale locale;
    EXPECT_EQ(locale.lowerAnsi("00012.SPL"), "00012.spl");
    // É È Š Œ Ž Ÿ lower-case in Windows-1252; × and the DOS degree byte do not change.
    EXPECT_EQ(locale.lowerAnsi("\xC9\xC8\x8A\x8C\x8E\x9F\xD7\xF8"),
              "\xE9\xE8\x9A\x9C\x9E\xFF\xD7\xF8");
}

TEST(FixedLocaleTest, ConvertsWindows1252BothWays) {
    const FixedLocale locale;
    const std::string ansi = "N\xB0 Ch\xE2ssis \x80\x81";
    const std::wstring wide = locale.ansiToWide(ansi);
    EXPECT_EQ(wide, std::wstring(L"N\u00B0 Ch\u00E2ssis \u20AC\u0081"));
    EXPECT_EQ(locale.wideToAnsi(wide), ansi);
    EXPECT_EQ(locale.wideToAnsi(L"\u4E2D"), "?");
}

TEST(ErrorTextTest, AddsAPeriodOnlyWhenMissing) {
    EXPECT_EQ(errorBoxText("Indice de liste hors limites (-1)"),
              "Indice de liste hors limites (-1).");
    EXPECT_EQ(errorBoxText("Unsupported operation."), "Unsupported operation.");
    EXPECT_EQ(errorBoxText(""), ".");
}

} // namespace
} // namespace quorva
