#include "ui/timer.h"

#include "platform/error.h"
#include "platform/system_error.h"

namespace quorva {

Timer::Timer(Window& owner, unsigned intervalMs)
    : owner_(owner), id_(owner.addTimer([this] {
          if (onTimer)
              onTimer();
      })),
      interval_(intervalMs) {
}

Timer::~Timer() {
    owner_.removeTimer(id_);
}

void Timer::setEnabled(bool enabled) {
    if (enabled) {
        if (SetTimer(owner_.hwnd(), id_, interval_, nullptr) == 0)
            throw Error(systemErrorText(GetLastError()));
    } else {
        KillTimer(owner_.hwnd(), id_);
    }
    enabled_ = enabled;
}

void Timer::setInterval(unsigned intervalMs) {
    interval_ = intervalMs;
    if (enabled_)
        setEnabled(true);
}

} // namespace quorva
