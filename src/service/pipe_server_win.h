#pragma once

// The service's end of the capture pipe: one thread accepts the desks and carries their frames.
// What arrives is handed to the owner's window as events (PostMessage, then takeEvents on the
// window's thread); what the owner sends is queued from its thread and written by the pipe's.
// The pipe refuses remote clients, lets interactive users connect (read and write, not create
// instances of it) and bounds each frame and each client's queue; a client that breaks a rule
// is disconnected, alone.

#include "ipc/pipe_worker_win.h"
#include "platform/unique_handle_win.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorva {

using ClientId = std::uint64_t;

struct PipeEvent {
    enum class Kind { Connected, Received, Gone };
    Kind kind;
    ClientId client;
    std::string payload; // Received: one frame's payload
};

class PipeServer {
public:
    // At most this many desks at once; more wait for a free place.
    static constexpr std::size_t kMaxClients = 16;

    PipeServer(std::wstring name, UINT message);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Creates the pipe's first instance and starts the thread; each batch of events is announced
    // by PostMessage(window, message, 0, 0). Throws Error when the name is already taken (another
    // capture runs, or someone else holds it).
    void start(HWND window);
    void stop();

    // From the owner's thread: queued for the client, dropped once it is gone.
    void send(ClientId client, std::string frame);
    void disconnect(ClientId client);
    std::vector<PipeEvent> takeEvents();

private:
    // A frame for a client, or, without one, the order to disconnect it.
    struct Command {
        ClientId client;
        std::optional<std::string> frame;
    };
    void run(UniqueHandle firstInstance);

    const std::wstring name_;
    PipeWorker<PipeEvent, Command> worker_;
};

} // namespace quorva
