#include "platform/clock.h"
#include "platform/error.h"

#include <windows.h>

namespace quorva {

namespace {

DateTime fromSystemTime(const SYSTEMTIME& st) {
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

} // namespace

DateTime SystemClock::now() const {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return fromSystemTime(st);
}

DateTime SystemClock::utcNow() const {
    SYSTEMTIME st{};
    GetSystemTime(&st);
    return fromSystemTime(st);
}

DateTime SystemClock::toLocal(const DateTime& utc) const {
    const SYSTEMTIME given{static_cast<WORD>(utc.year),
                           static_cast<WORD>(utc.month),
                           0,
                           static_cast<WORD>(utc.day),
                           static_cast<WORD>(utc.hour),
                           static_cast<WORD>(utc.minute),
                           static_cast<WORD>(utc.second),
                           static_cast<WORD>(utc.millisecond)};
    SYSTEMTIME local{};
    // The zone's daylight saving of that date, not of today's.
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &given, &local))
        throw Error("Argument incorrect pour l'encodage de date");
    return fromSystemTime(local);
}

} // namespace quorva
