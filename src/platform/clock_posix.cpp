#include "platform/clock.h"
#include "platform/posix_time.h"

#include <sys/time.h>

namespace quorva {

DateTime SystemClock::now() const {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return localDateTime(tv.tv_sec, static_cast<int>(tv.tv_usec / 1000));
}

} // namespace quorva
