#pragma once

// For the POSIX sources only (*_posix.cpp): a moment of the system clock as the desk's local
// calendar time.

#include "platform/date_time.h"

#include <time.h>

namespace quorva {

// `seconds` since the epoch, in the local time zone, with `millisecond` added as is.
inline DateTime localDateTime(time_t seconds, int millisecond) {
    tm local{};
    localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
            local.tm_min,         local.tm_sec,     millisecond};
}

} // namespace quorva
