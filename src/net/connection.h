#pragma once

// A byte stream to a server, plain TCP or TLS over it, with a time limit on every wait. The HTTP
// client speaks the same bytes over either.

#include <chrono>
#include <cstddef>
#include <string_view>

namespace quorva {

class Connection {
public:
    virtual ~Connection() = default;

    // Sends every byte within `limit` in all.
    virtual void sendAll(std::string_view bytes, std::chrono::milliseconds limit) = 0;
    // Receives up to `count` bytes, waiting at most `limit` for the first; 0 when the peer has
    // closed the connection.
    virtual std::size_t receive(char* buffer, std::size_t count,
                                std::chrono::milliseconds limit) = 0;
    // Whether the peer has closed its side, without waiting and without consuming data.
    virtual bool peerClosed() const = 0;
    // Ends both directions at once, from any thread: a send or receive waiting on the connection
    // returns.
    virtual void shutdown() = 0;
};

} // namespace quorva
