#include "net/socket.h"

#include "net/lookup_within.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace quorva {

namespace {

using SteadyClock = std::chrono::steady_clock;

int descriptor(NativeSocket handle) {
    return static_cast<int>(handle);
}

// Waits until the socket is ready for `events`; false when the deadline passes first. With
// `cancelled`, the wait goes in short slices and ends with ESHUTDOWN once it is set.
bool waitUntil(int fd, short events, SteadyClock::time_point deadline,
               const std::atomic<bool>* cancelled = nullptr) {
    for (;;) {
        if (cancelled != nullptr && *cancelled)
            throw SocketError(ESHUTDOWN);
        const auto left = std::max<std::int64_t>(
            0, std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count());
        const std::int64_t slice = cancelled != nullptr ? std::min<std::int64_t>(left, 100) : left;
        pollfd entry{fd, events, 0};
        const int ready =
            ::poll(&entry, 1, static_cast<int>(std::min<std::int64_t>(slice, 1 << 30)));
        if (ready > 0)
            return true;
        if (ready == 0 && slice == left)
            return false;
        if (ready < 0 && errno != EINTR)
            throw SocketError(errno);
    }
}

// Small writes (the request head) go out at once rather than waiting for an acknowledgement.
void sendWithoutDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

struct AddressListDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

} // namespace

TcpSocket TcpSocket::connect(const std::string& host, std::uint16_t port,
                             std::chrono::milliseconds limit, const std::atomic<bool>* cancelled) {
    const auto deadline = SteadyClock::now() + limit;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    const auto lookup = lookUpAddresses(::getaddrinfo, ::freeaddrinfo, host, std::to_string(port),
                                        hints, deadline, cancelled, AI_NUMERICHOST);
    if (lookup.end != LookupEnd::Found)
        throw SocketError(lookup.end == LookupEnd::Cancelled ? ESHUTDOWN : ETIMEDOUT);
    addrinfo* found = lookup.found;
    if (lookup.resolved == EAI_SYSTEM)
        throw SocketError(lookup.error);
    if (lookup.resolved != 0)
        throw SocketError(lookup.resolved, ::gai_strerror(lookup.resolved));
    const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);

    int lastError = ECONNREFUSED;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        TcpSocket socket(static_cast<NativeSocket>(fd));
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                lastError = errno;
                continue;
            }
            if (!waitUntil(fd, POLLOUT, deadline, cancelled))
                throw SocketError(ETIMEDOUT);
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) {
                lastError = error;
                continue;
            }
        }
        sendWithoutDelay(fd);
        return socket;
    }
    throw SocketError(lastError);
}

void TcpSocket::sendAll(std::string_view bytes, std::chrono::milliseconds limit) {
    const int fd = descriptor(handle_);
    const auto deadline = SteadyClock::now() + limit;
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw SocketError(errno);
        if (!waitUntil(fd, POLLOUT, deadline))
            throw SocketError(ETIMEDOUT);
    }
}

std::size_t TcpSocket::receive(char* buffer, std::size_t count, std::chrono::milliseconds limit) {
    const int fd = descriptor(handle_);
    const auto deadline = SteadyClock::now() + limit;
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, count, 0);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw SocketError(errno);
        if (!waitUntil(fd, POLLIN, deadline))
            throw SocketError(ETIMEDOUT);
    }
}

bool TcpSocket::peerClosed() const {
    const int fd = descriptor(handle_);
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 0) <= 0)
        return false;
    char byte;
    const ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void TcpSocket::shutdown() {
    if (handle_ != invalidSocket)
        ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

void TcpSocket::close() {
    if (handle_ != invalidSocket)
        ::close(descriptor(std::exchange(handle_, invalidSocket)));
}

TcpListener::TcpListener(int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw SocketError(errno);
    socket_ = TcpSocket(static_cast<NativeSocket>(fd));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw SocketError(errno);
    port_ = ntohs(address.sin_port);
}

TcpSocket TcpListener::accept(std::chrono::milliseconds limit) {
    const int fd = descriptor(socket_.handle_);
    if (!waitUntil(fd, POLLIN, SteadyClock::now() + limit))
        throw SocketError(ETIMEDOUT);
    const int accepted = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (accepted < 0)
        throw SocketError(errno);
    sendWithoutDelay(accepted);
    return TcpSocket(static_cast<NativeSocket>(accepted));
}

} // namespace quorva
