#include "platform/clock.h"

#include <sys/time.h>
#include <time.h>

namespace quorva {

DateTime SystemClock::now() const {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    localtime_r(&tv.tv_sec, &local);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(tv.tv_usec / 1000)};
}

} // namespace quorva
