#include "platform/date_format.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

const DateTime kToday{2026, 12, 7, 14, 5, 9, 42};

TEST(DateTimeTest, CalendarArithmeticCrossesMonthsYearsAndLeapDays) {
    EXPECT_EQ(addDays({2016, 2, 28, 10, 0, 0, 0}, 1), (DateTime{2016, 2, 29, 10, 0, 0, 0}));
    EXPECT_EQ(addDays({2015, 2, 28, 0, 0, 0, 0}, 1), (DateTime{2015, 3, 1, 0, 0, 0, 0}));
    EXPECT_EQ(addDays({2014, 12, 31, 1, 2, 3, 4}, 1), (DateTime{2015, 1, 1, 1, 2, 3, 4}));
    EXPECT_EQ(addDays({2016, 3, 1, 0, 0, 0, 0}, -1), (DateTime{2016, 2, 29, 0, 0, 0, 0}));
    EXPECT_EQ(addDays({2014, 3, 12, 0, 0, 0, 0}, 365), (DateTime{2015, 3, 12, 0, 0, 0, 0}));
    EXPECT_FALSE(isValidDate(2015, 2, 29));
    EXPECT_TRUE(isValidDate(2000, 2, 29));
    EXPECT_FALSE(isValidDate(1900, 2, 29));
    EXPECT_FALSE(isValidDate(0, 1, 1));
    EXPECT_FALSE(isValidDate(10000, 1, 1));
}

TEST(DateFormatTest, PicturesFollowWindowsLetters) {
    const DateTime t{2026, 3, 7, 9, 5, 4, 0};
    EXPECT_EQ(formatPicture(t, "dd/MM/yyyy"), "07/03/2026");
    EXPECT_EQ(formatPicture(t, "d/M/yy"), "7/3/26");
    EXPECT_EQ(formatPicture(t, "HH:mm:ss"), "09:05:04");
    EXPECT_EQ(formatPicture({2026, 3, 7, 21, 5, 4, 0}, "h:mm tt"), "9:05 PM");
    EXPECT_EQ(formatPicture(t, "yyyy'-'MM'h'"), "2026-03h");
    // Single letters, midnight on the 12-hour clock, a three-digit year.
    EXPECT_EQ(formatPicture({2005, 11, 30, 0, 7, 8, 0}, "y d M H h m s t"), "5 30 11 0 12 7 8 A");
    EXPECT_EQ(formatPicture({987, 1, 2, 12, 0, 0, 0}, "yyy yy hh tt"), "0987 87 12 PM");
}

TEST(DateFormatTest, CFormatAndShownFormLeaveOutMidnight) {
    const FixedLocale fr;
    EXPECT_EQ(formatC({2026, 12, 7, 14, 5, 9, 42}, fr), "07/12/2026 14:05:09");
    EXPECT_EQ(formatShownDateTime({2026, 12, 7, 0, 0, 0, 0}, fr), "07/12/2026");
    EXPECT_EQ(formatShownDateTime({2026, 12, 7, 0, 0, 1, 0}, fr), "07/12/2026 00:00:01");
    EXPECT_EQ(formatDayMonthYear({2026, 1, 2, 3, 4, 5, 6}, FixedLocale("dd.MM.yyyy", ".")),
              "02.01.2026");
}

struct DateCase {
    const char* text;
    bool valid;
    DateTime expected;
};

TEST(DateFormatTest, ReadsDatesByTheRegionalOrder) {
    const FixedLocale dayFirst;
    const DateCase cases[] = {
        {"12/03/2014", true, {2014, 3, 12}},
        {" 12 / 03 / 2014 ", true, {2014, 3, 12}},
        {"12/03/2014/", true, {2014, 3, 12}},
        {"12/03/2014 /", true, {2014, 3, 12}},
        {"12/03/14", true, {2014, 3, 12}},
        {"12/03/76", true, {1976, 3, 12}},
        {"12/03/77", true, {1977, 3, 12}},
        {"12/03/5", true, {2005, 3, 12}},
        {"12/03", true, {2026, 3, 12}},
        {"12/03/", true, {2026, 3, 12}},
        {"29/02/2016", true, {2016, 2, 29}},
        {"29/02/2015", false, {}},
        {"12/03/2014 page 2", false, {}},
        {"12/03/2014\t", false, {}},
        {"", false, {}},
        {"12", false, {}},
        {"12/", false, {}},
        {"/03/2014", false, {}},
        {"12/03/20145", false, {}},
        {"12//2014", false, {}},
        {"32/01/2014", false, {}},
        {"12/03/2014//", false, {}},
        {"1 2/03/2014", false, {}},
    };
    for (const auto& c : cases) {
        const auto got = parseDate(c.text, dayFirst, kToday);
        ASSERT_EQ(got.has_value(), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(*got, c.expected) << c.text;
        }
    }
}

TEST(DateFormatTest, MonthFirstAndYearFirstFormats) {
    const FixedLocale monthFirst("MM/dd/yyyy", "/");
    EXPECT_EQ(parseDate("03/12/2014", monthFirst, kToday), (DateTime{2014, 3, 12}));
    EXPECT_EQ(parseDate("03/12", monthFirst, kToday), (DateTime{2026, 3, 12}));
    const FixedLocale yearFirst("yyyy-MM-dd", "-");
    EXPECT_EQ(parseDate("2014-03-12", yearFirst, kToday), (DateTime{2014, 3, 12}));
    EXPECT_EQ(parseDate("14-03-12", yearFirst, kToday), (DateTime{2014, 3, 12}));
    EXPECT_EQ(parseDate("03-12", yearFirst, kToday), (DateTime{2026, 3, 12}));
    EXPECT_FALSE(parseDate("12/03/2014", yearFirst, kToday).has_value());
}

TEST(DateFormatTest, DateTimeReadsBackWhatTheCFormatWrites) {
    const FixedLocale fr;
    const DateTime t{2026, 12, 7, 14, 5, 9, 0};
    EXPECT_EQ(parseDateTime(formatC(t, fr), fr, kToday), t);
    EXPECT_EQ(parseDateTime("07/12/2026", fr, kToday), (DateTime{2026, 12, 7}));
    const FixedLocale us("M/d/yyyy", "/", "h:mm:ss tt", ":");
    const DateTime evening{2026, 12, 7, 21, 0, 30, 0};
    EXPECT_EQ(parseDateTime(formatC(evening, us), us, kToday), evening);
    EXPECT_EQ(parseDateTime("12/7/2026 12:00:00 AM", us, kToday), (DateTime{2026, 12, 7}));
    EXPECT_FALSE(parseDateTime("07/12/2026 25:00:00", fr, kToday).has_value());
    EXPECT_FALSE(parseDateTime("07/12/2026 10:00 x", fr, kToday).has_value());
    EXPECT_FALSE(parseDateTime("not a date", fr, kToday).has_value());
}

} // namespace
} // namespace quorva
