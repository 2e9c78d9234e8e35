#include "platform/clock.h"

#include <windows.h>

namespace quorva {

DateTime SystemClock::now() const {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

} // namespace quorva
