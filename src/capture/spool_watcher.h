#pragma once

// Watches the spool folder for file-name and last-write changes (Windows only; included only by
// Win32 code). One worker thread waits on an I/O completion port and hands every completed read
// to the main window with a blocking SendMessage, so that all processing stays on the main thread.

#include "capture/change_processor.h"

#include <memory>
#include <string>

namespace quorva {

struct WatchStartResult {
    bool started = false;
    bool beep = false;     // the folder could not be opened: the caller beeps before the message
    std::string errorText; // the system's text for the failure, empty when started
};

class SpoolWatcher {
public:
    SpoolWatcher();
    ~SpoolWatcher(); // stops the worker if it still runs
    SpoolWatcher(const SpoolWatcher&) = delete;
    SpoolWatcher& operator=(const SpoolWatcher&) = delete;

    // Opens `folder` and starts the worker. For every completed read the worker calls
    // SendMessage(window, message, transferredBytes, 0) and waits for it to return before it
    // clears the buffer and re-arms the read. `window` is an HWND.
    WatchStartResult start(const std::string& folder, void* window, unsigned message);

    // The change buffer the main thread reads while it handles the message.
    const unsigned char* buffer() const;
    bool running() const;
    const std::string& folder() const;

    // Posts the stop packet, waits for the worker while still serving its hand-overs, then
    // closes the handles. Does nothing when watching never started.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace quorva
