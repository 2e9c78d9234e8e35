#pragma once

// How long a failed transfer waits before the next attempt: 30 s, 1, 2, 5 and 10 min, then every
// 15 min, so that a server back after a short outage gets its invoices at once and a long outage
// costs the desk little.

#include "platform/date_time.h"

namespace quorva {

// After the `failures`-th failed attempt in a row (1 for the first).
int retryDelaySeconds(int failures);

// `when` plus the given seconds, across midnight and month ends.
DateTime addSeconds(const DateTime& when, int seconds);

} // namespace quorva
