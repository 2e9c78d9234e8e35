#include "core/failure_episode.h"

namespace quorva {

namespace {

// Whole units since 1970-01-01 00:00:00, rounded down also before it.
std::int64_t unitsOf(const DateTime& t, std::int64_t unitSeconds) {
    const std::int64_t seconds =
        ((daysFromCivil(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
    const std::int64_t units = seconds / unitSeconds;
    return seconds % unitSeconds < 0 ? units - 1 : units;
}

} // namespace

void FailureEpisode::fail(const DateTime& now) {
    if (!since_)
        since_ = now;
}

std::int64_t FailureEpisode::elapsed(const DateTime& now, std::int64_t unitSeconds) const {
    return since_ ? unitsOf(now, unitSeconds) - unitsOf(*since_, unitSeconds) : 0;
}

} // namespace quorva
