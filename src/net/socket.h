#pragma once

// Blocking-style TCP over the system's sockets (Winsock on Windows, BSD sockets elsewhere), with
// a time limit on every wait. Sockets are non-blocking underneath; each wait is a poll bounded
// by the caller's limit, so a silent peer cannot hold the caller forever.

#include "net/connection.h"
#include "platform/error.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorva {

// "Socket error %d: %s" with the system's error number and its text.
class SocketError : public Error {
public:
    explicit SocketError(int code);
    // For name resolution, whose errors have their own texts.
    SocketError(int code, const std::string& text);
    int code() const { return code_; }

private:
    int code_;
};

// The system's handle, wide enough for a Winsock SOCKET and a POSIX descriptor.
using NativeSocket = std::uintptr_t;

class TcpSocket final : public Connection {
public:
    TcpSocket() = default;
    ~TcpSocket() override;
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves `host` and connects to the first of its addresses that accepts, all within
    // `limit`. Throws SocketError (the time-out's own error number when the limit passes).
    static TcpSocket connect(const std::string& host, std::uint16_t port,
                             std::chrono::milliseconds limit);

    // A peer taking one byte at a time cannot stretch a send past its limit.
    void sendAll(std::string_view bytes, std::chrono::milliseconds limit) override;
    std::size_t receive(char* buffer, std::size_t count, std::chrono::milliseconds limit) override;
    bool peerClosed() const override;

    bool isOpen() const;
    void close();
    // The socket stays open until close().
    void shutdown() override;

private:
    friend class TcpListener;
    explicit TcpSocket(NativeSocket handle) : handle_(handle) {}

    NativeSocket handle_ = invalidSocket;
    // Set by shutdown(): a wait under way ends at its next look (Winsock's select does not
    // notice a shutdown from another thread under Wine).
    std::atomic<bool> shutDown_ = false;
    static constexpr NativeSocket invalidSocket = ~NativeSocket{0};
};

// A listening socket on the loopback address, for local servers.
class TcpListener {
public:
    // Listens on 127.0.0.1 on a port the system chooses; `backlog` pending connections at most.
    explicit TcpListener(int backlog = 16);

    std::uint16_t port() const { return port_; }
    // The next incoming connection, waiting at most `limit`. Throws SocketError.
    TcpSocket accept(std::chrono::milliseconds limit);
    void close() { socket_.close(); }

private:
    TcpSocket socket_;
    std::uint16_t port_ = 0;
};

} // namespace quorva
