#pragma once

#include "platform/date_time.h"

#include <chrono>

namespace quorva {

// The desk's local clock, the same clock in UTC, and a count of time that no change of it moves.
class Clock {
public:
    virtual ~Clock() = default;
    // The wall clock, in local time: what people see on screen and in the log.
    virtual DateTime now() const = 0;
    // The wall clock in UTC: what file times are compared with and what the store keeps, so that
    // a change of daylight saving or of time zone moves none of them.
    virtual DateTime utcNow() const = 0;
    // The local time of the UTC moment `utc`, by the zone's rules for that date.
    virtual DateTime toLocal(const DateTime& utc) const = 0;
    // Time since some fixed start, unmoved by a clock set back or forward or by daylight saving:
    // what waits are measured on.
    virtual std::chrono::milliseconds elapsed() const = 0;
};

// The system's clock (GetLocalTime and GetSystemTime on Windows, the time zone's rules
// elsewhere) and its steady clock.
class SystemClock final : public Clock {
public:
    DateTime now() const override;
    DateTime utcNow() const override;
    DateTime toLocal(const DateTime& utc) const override;
    std::chrono::milliseconds elapsed() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

} // namespace quorva
