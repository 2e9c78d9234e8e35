#include "platform/clock.h"
#include "platform/posix_time.h"

#include <sys/time.h>

namespace quorva {

DateTime SystemClock::now() const {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return localDateTime(tv.tv_sec, static_cast<int>(tv.tv_usec / 1000));
}

DateTime SystemClock::utcNow() const {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return utcDateTime(tv.tv_sec, static_cast<int>(tv.tv_usec / 1000));
}

DateTime SystemClock::toLocal(const DateTime& utc) const {
    const std::int64_t days = daysFromCivil(utc.year, utc.month, utc.day);
    const auto seconds =
        static_cast<time_t>(((days * 24 + utc.hour) * 60 + utc.minute) * 60 + utc.second);
    return localDateTime(seconds, utc.millisecond);
}

} // namespace quorva
