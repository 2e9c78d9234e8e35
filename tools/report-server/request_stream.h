#pragma once

// The bytes of one request and of its answer, held to the request's limits (ServerLimits): the
// head must end within its time and size, the body must come at the minimum rate and stay
// within its size, and the answer must be taken at that rate too. Past a limit, reading or
// writing fails and the request ends there, so that a slow or endless client holds a worker for
// a bounded time and memory. Over TLS the socket is made non-blocking, so that no read or write
// of a record can wait past these limits either.

#include "report-server/server.h"

#include <httplib.h>

#include <array>
#include <chrono>
#include <string>
#include <string_view>

namespace quorva::report {

class RequestStream final : public httplib::Stream {
public:
    // A request that comes on an accepted connection.
    RequestStream(socket_t socket, const ServerLimits& limits);
    // A request that comes over TLS on an accepted connection, once negotiate() succeeded.
    RequestStream(socket_t socket, SSL* ssl, const ServerLimits& limits);
    // A request given as bytes; its answer is kept in written().
    RequestStream(std::string_view request, const ServerLimits& limits);

    // The TLS negotiation, within the head's time; false when it fails.
    bool negotiate();
    // After the answer: tells a TLS client that nothing more comes.
    void finish();

    const std::string& written() const { return written_; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return socket_; }

private:
    using Clock = std::chrono::steady_clock;

    Clock::time_point readDeadline() const;
    // A transfer that started at `since` and has moved `bytes` must go on before this time.
    Clock::time_point rateDeadline(Clock::time_point since, std::size_t bytes) const;
    bool waitFor(short events, Clock::time_point deadline) const;
    // Fills the buffer from the connection; 0 at its end, -1 when it fails.
    ssize_t receive(Clock::time_point deadline);
    // Sends what the connection takes now; -1 when it fails. `events` is what to wait for
    // before the next try.
    ssize_t sendSome(const char* ptr, std::size_t size, short& events);
    // What SSL_ERROR_WANT_* asks to wait for; 0 for a failure.
    short sslWait(int result) const;
    // Counts bytes handed to the reader; false once the head or the body is too long.
    bool count(const char* bytes, std::size_t n);

    socket_t socket_ = INVALID_SOCKET;
    SSL* ssl_ = nullptr;
    std::string_view memory_;
    std::string written_;
    ServerLimits limits_;
    Clock::time_point start_;
    Clock::time_point headEnd_;
    Clock::time_point firstWrite_;
    std::size_t headBytes_ = 0;
    std::size_t bodyBytes_ = 0;
    std::size_t writtenBytes_ = 0;
    std::size_t lineChars_ = 0; // of the head line being read, CR not counted
    bool anyLine_ = false;
    bool headDone_ = false;
    bool failed_ = false;
    std::array<char, 16384> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Ends a connection once its answer is written: nothing more is sent, and what the client still
// sends is read and dropped for a moment, so that a reset does not destroy the answer before
// the client reads it.
void closeAfterAnswer(socket_t socket);

} // namespace quorva::report
