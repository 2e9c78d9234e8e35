#pragma once

#include "platform/date_time.h"

namespace quorva {

// The desk's local clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;
};

// The system's local time (GetLocalTime on Windows, localtime elsewhere).
class SystemClock final : public Clock {
public:
    DateTime now() const override;
};

} // namespace quorva
