#pragma once

// The thread behind one end of the capture pipe, and what crosses between it and a window's
// thread: the window queues what is to be written (the worker is woken), the worker queues what
// happened (the window is told by one posted message per batch). Both ends of the pipe, the
// service's server and the desk's client, run on one.

#include "platform/error.h"
#include "platform/system_error.h"
#include "platform/unique_handle_win.h"

#include <windows.h>

#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorva {

template <typename Event, typename Outgoing> class PipeWorker {
public:
    explicit PipeWorker(UINT message) : message_(message) {
        if (!stop_ || !wake_)
            throw Error(systemErrorText(GetLastError()));
    }
    ~PipeWorker() { stop(); }
    PipeWorker(const PipeWorker&) = delete;
    PipeWorker& operator=(const PipeWorker&) = delete;

    // Runs `body` on the worker's thread; events are announced to `window`.
    void start(HWND window, std::function<void()> body) {
        window_ = window;
        thread_ = std::thread(std::move(body));
    }
    // Signals the stop event and waits for the body to return.
    void stop() {
        if (!thread_.joinable())
            return;
        SetEvent(stop_.get());
        thread_.join();
    }

    // ---- From the window's thread
    void queue(Outgoing item) {
        {
            const std::lock_guard lock(mutex_);
            outgoing_.push_back(std::move(item));
        }
        SetEvent(wake_.get());
    }
    std::vector<Event> takeEvents() {
        const std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

    // ---- From the worker's thread
    HANDLE stopEvent() const { return stop_.get(); }
    HANDLE wakeEvent() const { return wake_.get(); }
    std::vector<Outgoing> takeOutgoing() {
        const std::lock_guard lock(mutex_);
        return std::exchange(outgoing_, {});
    }
    void post(Event event) {
        bool first = false;
        {
            const std::lock_guard lock(mutex_);
            first = events_.empty();
            events_.push_back(std::move(event));
        }
        if (first)
            PostMessageW(window_, message_, 0, 0);
    }

private:
    const UINT message_;
    HWND window_ = nullptr;
    UniqueHandle stop_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle wake_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::mutex mutex_;
    std::vector<Outgoing> outgoing_;
    std::vector<Event> events_;
    std::thread thread_;
};

} // namespace quorva
