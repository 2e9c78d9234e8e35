#pragma once

#include <compare>
#include <cstdint>

namespace quorva {

// A local calendar date and time of day, as the desk's clock and file dates give it.
struct DateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    auto operator<=>(const DateTime&) const = default;
};

bool isLeapYear(int year);
int daysInMonth(int year, int month);
// Year 1 to 9999, month 1 to 12, day within the month, time of day within range.
bool isValidDate(int year, int month, int day);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(int year, int month, int day);
DateTime civilFromDays(std::int64_t days);

// The same time of day, `days` calendar days later (or earlier when negative).
DateTime addDays(const DateTime& value, std::int64_t days);

bool isMidnight(const DateTime& value);

// Milliseconds from `from` to `to` on the calendar (negative when `to` comes first).
std::int64_t millisecondsBetween(const DateTime& from, const DateTime& to);

} // namespace quorva
