#include "store/retry_schedule.h"

#include <array>
#include <cstddef>

namespace quorva {

int retryDelaySeconds(int failures) {
    static constexpr std::array<int, 5> kFirst{30, 60, 120, 300, 600};
    if (failures < 1)
        return kFirst.front();
    return failures <= static_cast<int>(kFirst.size())
               ? kFirst[static_cast<std::size_t>(failures - 1)]
               : 900;
}

DateTime addSeconds(const DateTime& when, int seconds) {
    const std::int64_t total = ((when.hour * 60LL + when.minute) * 60 + when.second) + seconds;
    const std::int64_t days = total >= 0 ? total / 86400 : (total - 86399) / 86400;
    const std::int64_t inDay = total - days * 86400;
    DateTime result = addDays(when, days);
    result.hour = static_cast<int>(inDay / 3600);
    result.minute = static_cast<int>(inDay / 60 % 60);
    result.second = static_cast<int>(inDay % 60);
    return result;
}

} // namespace quorva
