#pragma once

#include "platform/date_time.h"

#include <chrono>

namespace quorva {

// The desk's local clock, and a count of time that no change of it moves.
class Clock {
public:
    virtual ~Clock() = default;
    // The wall clock, in local time: what people see, and what files are dated with.
    virtual DateTime now() const = 0;
    // Time since some fixed start, unmoved by a clock set back or forward or by daylight saving:
    // what waits are measured on.
    virtual std::chrono::milliseconds elapsed() const = 0;
};

// The system's local time (GetLocalTime on Windows, localtime elsewhere) and its steady clock.
class SystemClock final : public Clock {
public:
    DateTime now() const override;
    std::chrono::milliseconds elapsed() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

} // namespace quorva
