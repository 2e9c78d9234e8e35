#pragma once

// A window timer with an interval and an Enabled switch: enabling a stopped timer starts it
// (SetTimer), enabling a running one changes nothing, disabling stops it (KillTimer). Its ticks
// arrive as WM_TIMER through the owner window, inside the owner's error boundary.

#include "ui/timer_switch.h"
#include "ui/window.h"

#include <functional>

namespace quorva {

class Timer {
public:
    // Disabled at first. The owner window must exist by the time the timer is enabled.
    Timer(Window& owner, unsigned intervalMs);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    bool enabled() const { return switch_.on(); }
    void setEnabled(bool enabled);
    unsigned interval() const { return interval_; }
    // Restarts a running timer with the new interval.
    void setInterval(unsigned intervalMs);

    std::function<void()> onTimer;

private:
    // (Re)starts the system timer's countdown.
    void start();

    Window& owner_;
    UINT_PTR id_;
    unsigned interval_;
    TimerSwitch switch_;
};

} // namespace quorva
