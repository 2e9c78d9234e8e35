#pragma once

#include "platform/date_time.h"
#include "platform/locale.h"

#include <optional>
#include <string>
#include <string_view>

namespace quorva {

// Formats with a Windows date/time picture: d dd M MM yy yyyy H HH h hh m mm s ss t tt, text in
// single quotes taken literally, every other character copied.
std::string formatPicture(const DateTime& value, std::string_view picture);

// The "c" format: short date, a blank, long time.
std::string formatC(const DateTime& value, const Locale& locale);

// The "c" format as a date-time cell shows it: the time part is left out at exactly midnight.
std::string formatShownDateTime(const DateTime& value, const Locale& locale);

// "dd/mm/yyyy" with the system's date separator in place of each "/".
std::string formatDayMonthYear(const DateTime& value, const Locale& locale);

// Reads a date the way the desk's regional settings write it: the number order from the short
// date format, the date separator, two or three numbers, spaces around them, one optional
// trailing separator, nothing else. Two-digit years fall in the hundred years that begin fifty
// years before `today`; with two numbers the year is today's. The time of day is midnight.
std::optional<DateTime> parseDate(std::string_view text, const Locale& locale,
                                  const DateTime& today);

// A date as parseDate reads it, optionally followed by a time of day (hours, minutes and
// optional seconds with the time separator, an optional AM/PM mark).
std::optional<DateTime> parseDateTime(std::string_view text, const Locale& locale,
                                      const DateTime& today);

} // namespace quorva
