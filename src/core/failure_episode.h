#pragma once

// An episode of failures: it starts with the first failure after a success (or after the start)
// and ends with the next success. The report server's health and IT's alert both count how long
// the episode under way has lasted.

#include "platform/date_time.h"

#include <cstdint>
#include <optional>

namespace quorva {

class FailureEpisode {
public:
    // A failure: the episode starts, unless one is under way.
    void fail(const DateTime& now);
    // A success ends the episode under way.
    void end() { since_.reset(); }

    // The first failure of the episode under way; nothing between episodes.
    const std::optional<DateTime>& since() const { return since_; }
    // How long the episode under way has lasted by now, in units of unitSeconds counted on the
    // clock's boundaries (a count of minutes goes up at each minute's first second); 0 between
    // episodes.
    std::int64_t elapsed(const DateTime& now, std::int64_t unitSeconds) const;

private:
    std::optional<DateTime> since_;
};

} // namespace quorva
