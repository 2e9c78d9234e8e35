#pragma once

// Watches the spool folder for file-name and last-write changes (Windows only; included only by
// Win32 code). One worker thread waits on an I/O completion port and hands every completed read
// to the main window with a blocking SendMessage, so that all processing stays on the main thread.
// A folder that goes away (a share that drops, a folder deleted) is told to the window and opened
// again every few seconds until it is back.

#include "capture/change_processor.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quorva {

struct WatchStartResult {
    bool started = false;
    bool beep = false;     // the folder could not be opened: the caller beeps before the message
    std::string errorText; // the system's text for the failure, empty when started
};

class WatchThread;

// What a hand-over tells the window, as the message's lParam. wParam is the bytes transferred for
// Changes (0: changes were lost, the folder must be rescanned) and the system's error code for
// FolderLost.
enum class WatchEvent : unsigned { Changes = 0, FolderLost = 1, FolderBack = 2 };

// How often a lost folder is tried again, and a watched one checked to be still there.
inline constexpr unsigned kFolderCheckMs = 5000;

class SpoolWatcher {
public:
    SpoolWatcher();
    ~SpoolWatcher(); // stops the worker if it still runs
    SpoolWatcher(const SpoolWatcher&) = delete;
    SpoolWatcher& operator=(const SpoolWatcher&) = delete;

    // Opens `folder` and starts the worker. For every completed read the worker calls
    // SendMessage(window, message, transferredBytes, WatchEvent::Changes) and waits for it to
    // return before it clears the buffer and re-arms the read; it sends FolderLost and FolderBack
    // the same way. `window` is an HWND
    // (never null: it is also the completion key, and key 0 is the stop order) owned by the
    // calling thread, which must also be the one that calls stop(). A watch already running is
    // stopped first.
    WatchStartResult start(const std::string& folder, void* window, unsigned message);

    // The change buffer (kChangeBufferSize bytes) the main thread reads while it handles the
    // message.
    const unsigned char* buffer() const;
    bool running() const;
    const std::string& folder() const;

    // Posts the stop packet, waits for the worker while still serving its hand-overs, then
    // closes the handles. Does nothing when watching never started.
    void stop();

private:
    struct State;
    friend class WatchThread;
    std::unique_ptr<State> state_;
};

// What the worker does with one result of its wait on the completion port.
enum class WorkerStep {
    End,      // the stop packet, or a port that can no longer be waited on
    Check,    // the wait timed out: check that the folder is still there, or open it again
    HandOver, // hand the buffer over (handOverBytes, 0 = changes lost), then re-arm the read
    Rearm,    // the read failed and delivered nothing: start the next one
    Wait,     // the read ended because its handle was closed or it was cancelled: there is nothing
              // to hand over and no read to re-arm
};

struct DequeuedCompletion {
    bool succeeded = false;     // GetQueuedCompletionStatus returned TRUE
    bool hasOverlapped = false; // it gave back an overlapped record (a read's completion)
    unsigned long error = 0;    // GetLastError() when it failed (WAIT_TIMEOUT: nothing came)
    std::uintptr_t key = 0;     // the completion key
    unsigned long transferred = 0;
    unsigned long status = 0; // the read's final status (the overlapped record's Internal)
};

struct WorkerDecision {
    WorkerStep step;
    unsigned long handOverBytes = 0;
};

WorkerDecision decideWorkerStep(const DequeuedCompletion& completion);

} // namespace quorva
