#include "platform/date_time.h"

namespace quorva {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && isLeapYear(year))
        return 29;
    return lengths[month - 1];
}

bool isValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month);
}

// Howard Hinnant's days_from_civil / civil_from_days.
std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

DateTime civilFromDays(std::int64_t days) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    DateTime result;
    result.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    result.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    result.year = static_cast<int>(yoe + era * 400 + (result.month <= 2 ? 1 : 0));
    return result;
}

DateTime addDays(const DateTime& value, std::int64_t days) {
    DateTime result = civilFromDays(daysFromCivil(value.year, value.month, value.day) + days);
    result.hour = value.hour;
    result.minute = value.minute;
    result.second = value.second;
    result.millisecond = value.millisecond;
    return result;
}

bool isMidnight(const DateTime& value) {
    return value.hour == 0 && value.minute == 0 && value.second == 0;
}

std::int64_t millisecondsBetween(const DateTime& from, const DateTime& to) {
    const auto milliseconds = [](const DateTime& d) {
        return ((daysFromCivil(d.year, d.month, d.day) * 24 + d.hour) * 60 + d.minute) * 60000 +
               d.second * 1000 + d.millisecond;
    };
    return milliseconds(to) - milliseconds(from);
}

} // namespace quorva
