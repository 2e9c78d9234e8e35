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
        if (switch_.enable())
            start();
    } else if (switch_.disable()) {
        KillTimer(owner_.hwnd(), id_);
    }
}

void Timer::setInterval(unsigned intervalMs) {
    interval_ = intervalMs;
    if (switch_.on())
        start();
}

void Timer::start() {
    if (SetTimer(owner_.hwnd(), id_, interval_, nullptr) == 0) {
        switch_.disable();
        throw Error(systemErrorText(GetLastError()));
    }
}

} // namespace quorva
