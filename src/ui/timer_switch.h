#pragma once

// A timer's Enabled switch, apart from the system timer it drives: enabling a stopped timer
// starts it, its first tick one interval later; enabling a running one changes nothing, so that
// frequent enabling (a change record every few hundred milliseconds) cannot hold its ticks back.
// Portable, so that the capture's timing can be played natively.

#include <utility>

namespace quorva {

class TimerSwitch {
public:
    bool on() const { return on_; }
    // True when the timer was stopped: the system timer must be started.
    bool enable() { return !std::exchange(on_, true); }
    // True when the timer ran: the system timer must be stopped.
    bool disable() { return std::exchange(on_, false); }

private:
    bool on_ = false;
};

} // namespace quorva
