#pragma once

// For the POSIX sources only (*_posix.cpp): a moment of the system clock as a calendar time, in
// UTC or in the desk's local time.

#include "platform/date_time.h"

#include <time.h>

namespace quorva {

// `seconds` since the epoch broken down by `breakDown` (gmtime_r or localtime_r), with
// `millisecond` added as is.
template <typename BreakDown>
DateTime calendarTime(time_t seconds, int millisecond, BreakDown breakDown) {
    tm parts{};
    breakDown(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
            parts.tm_min,         parts.tm_sec,     millisecond};
}

inline DateTime utcDateTime(time_t seconds, int millisecond) {
    return calendarTime(seconds, millisecond, gmtime_r);
}

inline DateTime localDateTime(time_t seconds, int millisecond) {
    return calendarTime(seconds, millisecond, localtime_r);
}

} // namespace quorva
