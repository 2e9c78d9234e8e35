#pragma once

// The desk's end of the capture pipe: one thread connects to the capture service, reads its
// frames and writes the desk's requests; it connects again by itself whenever the service stops
// or cannot be reached. What happens is handed to the window as events (PostMessage, then
// takeEvents on the window's thread).

#include "ipc/pipe_worker_win.h"

#include <string>
#include <vector>

namespace quorva {

struct ClientEvent {
    enum class Kind { Connected, Received, Lost };
    Kind kind;
    std::string payload; // Received: one frame's payload
};

class CaptureClient {
public:
    // How long the desk waits before it tries the pipe again.
    static constexpr unsigned kRetryMs = 1000;

    CaptureClient(std::wstring pipeName, UINT message);
    ~CaptureClient();
    CaptureClient(const CaptureClient&) = delete;
    CaptureClient& operator=(const CaptureClient&) = delete;

    // Starts connecting; each batch of events is announced by PostMessage(window, message, 0, 0).
    void start(HWND window);
    void stop();

    // From the window's thread: written once connected; a frame queued while the connection is
    // lost is dropped with it.
    void send(std::string frame);
    std::vector<ClientEvent> takeEvents();

private:
    void run();

    const std::wstring pipeName_;
    PipeWorker<ClientEvent, std::string> worker_;
};

} // namespace quorva
