#include "report-server/request_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace quorva::report {

namespace {

using namespace std::chrono_literals;

// How long, and how much, a closing connection's late bytes are read.
constexpr auto lingerTime = 2s;
constexpr std::size_t lingerBytes = 1024 * 1024;

// One end of the connection, "-" for a request without one.
std::string addressOf(socket_t socket, int (*query)(int, sockaddr*, socklen_t*), int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    char host[NI_MAXHOST] = "";
    char service[NI_MAXSERV] = "";
    if (socket == INVALID_SOCKET ||
        query(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host,
                      service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "-";
    port = std::atoi(service);
    return host;
}

} // namespace

RequestStream::RequestStream(socket_t socket, const ServerLimits& limits)
    : socket_(socket), limits_(limits), start_(Clock::now()) {
}

RequestStream::RequestStream(socket_t socket, SSL* ssl, const ServerLimits& limits)
    : socket_(socket), ssl_(ssl), limits_(limits), start_(Clock::now()) {
    ::fcntl(socket_, F_SETFL, ::fcntl(socket_, F_GETFL) | O_NONBLOCK);
    SSL_set_fd(ssl_, socket_);
}

RequestStream::RequestStream(std::string_view request, const ServerLimits& limits)
    : memory_(request), limits_(limits), start_(Clock::now()) {
}

RequestStream::Clock::time_point RequestStream::rateDeadline(Clock::time_point since,
                                                             std::size_t bytes) const {
    return since + limits_.grace + std::chrono::seconds(bytes / limits_.minimumRate);
}

RequestStream::Clock::time_point RequestStream::readDeadline() const {
    return headDone_ ? rateDeadline(headEnd_, bodyBytes_) : start_ + limits_.head;
}

bool RequestStream::waitFor(short events, Clock::time_point deadline) const {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms)
            return false;
        pollfd entry{socket_, events, 0};
        const int ready =
            ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

short RequestStream::sslWait(int result) const {
    switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
        return POLLIN;
    case SSL_ERROR_WANT_WRITE:
        return POLLOUT;
    default:
        return 0;
    }
}

bool RequestStream::negotiate() {
    for (;;) {
        const int result = SSL_accept(ssl_);
        if (result == 1)
            return true;
        const short events = sslWait(result);
        if (events == 0 || !waitFor(events, start_ + limits_.head))
            return false;
    }
}

void RequestStream::finish() {
    if (ssl_)
        SSL_shutdown(ssl_);
}

bool RequestStream::is_readable() const {
    if (socket_ == INVALID_SOCKET)
        return !memory_.empty();
    return !failed_ &&
           (begin_ < end_ || (ssl_ && SSL_pending(ssl_) > 0) || waitFor(POLLIN, readDeadline()));
}

ssize_t RequestStream::receive(Clock::time_point deadline) {
    if (!ssl_) {
        if (!waitFor(POLLIN, deadline))
            return -1;
        return ::recv(socket_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    }
    for (;;) {
        const int got = SSL_read(ssl_, buffer_.data(), static_cast<int>(buffer_.size()));
        if (got > 0)
            return got;
        if (SSL_get_error(ssl_, got) == SSL_ERROR_ZERO_RETURN)
            return 0;
        const short events = sslWait(got);
        if (events == 0 || !waitFor(events, deadline))
            return -1;
    }
}

ssize_t RequestStream::sendSome(const char* ptr, std::size_t size, short& events) {
    if (!ssl_) {
        const ssize_t sent = ::send(socket_, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return 0;
        return sent;
    }
    const int sent = SSL_write(ssl_, ptr, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
    if (sent > 0)
        return sent;
    events = sslWait(sent);
    return events == 0 ? -1 : 0;
}

bool RequestStream::is_writable() const {
    return socket_ == INVALID_SOCKET ||
           waitFor(POLLOUT,
                   rateDeadline(writtenBytes_ ? firstWrite_ : Clock::now(), writtenBytes_));
}

bool RequestStream::count(const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n && !headDone_; ++i) {
        if (++headBytes_ > limits_.headBytes)
            return false;
        if (bytes[i] != '\n') {
            lineChars_ += bytes[i] != '\r';
            continue;
        }
        // The empty line after the request line and the headers ends the head.
        if (lineChars_ == 0 && anyLine_) {
            headDone_ = true;
            headEnd_ = Clock::now();
            n -= i + 1;
            bytes += i + 1;
            i = 0;
            break;
        }
        anyLine_ = true;
        lineChars_ = 0;
    }
    if (!headDone_)
        return true;
    bodyBytes_ += n;
    // The transfer encoding's framing comes on top of the body.
    return bodyBytes_ <= limits_.bodyBytes + limits_.headBytes;
}

ssize_t RequestStream::read(char* ptr, size_t size) {
    if (failed_)
        return -1;
    std::size_t n = 0;
    if (socket_ == INVALID_SOCKET) {
        n = std::min(size, memory_.size());
        std::copy_n(memory_.data(), n, ptr);
        memory_.remove_prefix(n);
    } else {
        if (begin_ == end_) {
            const ssize_t got = receive(readDeadline());
            if (got < 0)
                failed_ = true;
            if (got <= 0)
                return got;
            begin_ = 0;
            end_ = static_cast<std::size_t>(got);
        }
        n = std::min(size, end_ - begin_);
        std::copy_n(buffer_.data() + begin_, n, ptr);
        begin_ += n;
    }
    if (!count(ptr, n)) {
        failed_ = true;
        return -1;
    }
    return static_cast<ssize_t>(n);
}

ssize_t RequestStream::write(const char* ptr, size_t size) {
    if (socket_ == INVALID_SOCKET) {
        written_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    if (writtenBytes_ == 0)
        firstWrite_ = Clock::now();
    std::size_t done = 0;
    short events = POLLOUT;
    while (done < size) {
        if (!waitFor(events, rateDeadline(firstWrite_, writtenBytes_)))
            return -1;
        events = POLLOUT;
        const ssize_t sent = sendSome(ptr + done, size - done, events);
        if (sent < 0)
            return -1;
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
            writtenBytes_ += static_cast<std::size_t>(sent);
        }
    }
    return static_cast<ssize_t>(size);
}

void RequestStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = addressOf(socket_, ::getpeername, port);
}

void RequestStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip = addressOf(socket_, ::getsockname, port);
}

void closeAfterAnswer(socket_t socket) {
    ::shutdown(socket, SHUT_WR);
    const auto end = std::chrono::steady_clock::now() + lingerTime;
    char scrap[16384];
    for (std::size_t dropped = 0; dropped < lingerBytes;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd entry{socket, POLLIN, 0};
        if (left <= 0ms || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t got = ::recv(socket, scrap, sizeof scrap, MSG_DONTWAIT);
        if (got <= 0)
            break;
        dropped += static_cast<std::size_t>(got);
    }
    ::close(socket);
}

} // namespace quorva::report
