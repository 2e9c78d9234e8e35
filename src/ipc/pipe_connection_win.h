#pragma once

// One end of the capture pipe, with overlapped reads and writes so that one thread can wait on
// several connections and a stop event at once. Both the service's server and the desk's client
// drive their connections this way; a connection belongs to the one thread that waits on it.
//
//   wait on readEvent()  ──▶ finishRead(): the complete frames' payloads, the next read started
//   queue(frame)         ──▶ pumpWrites(): the next queued frame written when none is under way
//   wait on writeEvent() ──▶ pumpWrites(): the write completed, the next one started

#include "ipc/frame.h"
#include "platform/unique_handle_win.h"

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace quorva {

// The pipe's name: local only (\\.\pipe\…), the same for the service and every desk.
inline constexpr wchar_t kCapturePipeName[] = L"\\\\.\\pipe\\Quorva";

// A reader that does not keep up is cut off past this many queued bytes; it reconnects and
// starts again from a fresh snapshot, which is cheaper than letting it hold the service's memory.
inline constexpr std::size_t kMaxQueuedBytes = 8 * 1024 * 1024;

class PipeConnection {
public:
    // `pipe` must have been opened for overlapped I/O.
    explicit PipeConnection(UniqueHandle pipe);
    // Cancels any read or write under way and waits for it to end.
    ~PipeConnection();
    PipeConnection(const PipeConnection&) = delete;
    PipeConnection& operator=(const PipeConnection&) = delete;

    HANDLE readEvent() const { return readDone_.get(); }
    HANDLE writeEvent() const { return writeDone_.get(); }
    HANDLE pipe() const { return pipe_.get(); }

    // Starts the first read; false when the pipe is already broken.
    bool startRead();
    // Once readEvent() is signalled: the payloads the read completed, in order, and the next read
    // started. False when the other end has gone. Throws ProtocolError on a malformed frame.
    bool finishRead(std::vector<std::string>& payloads);
    // False, and nothing queued, when the queue would exceed kMaxQueuedBytes.
    bool queue(std::string frame);
    // Completes a write that has ended and starts the next queued one; false when the pipe broke.
    bool pumpWrites();

private:
    bool startNextRead();

    UniqueHandle pipe_;
    UniqueHandle readDone_;
    UniqueHandle writeDone_;
    OVERLAPPED readOverlapped_{};
    OVERLAPPED writeOverlapped_{};
    bool reading_ = false;
    bool writing_ = false;
    char readBuffer_[16 * 1024] = {};
    FrameReader frames_;
    std::deque<std::string> outgoing_;
    std::size_t queuedBytes_ = 0;
};

} // namespace quorva
