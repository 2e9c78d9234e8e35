#include "net/socket.h"

#include "net/lookup_within.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace quorva {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Winsock is started once per process, before the first socket, and left to the process's end.
void ensureWinsock() {
    struct Session {
        Session() {
            WSADATA data{};
            const int started = WSAStartup(MAKEWORD(2, 2), &data);
            if (started != 0)
                throw SocketError(started);
        }
        ~Session() { WSACleanup(); }
    };
    static const Session session;
}

SOCKET native(NativeSocket handle) {
    return static_cast<SOCKET>(handle);
}

int lastError() {
    return WSAGetLastError();
}

enum class Readiness { Read, Write, Connect };

// A select() under way does not notice that another thread shut the socket down (Wine), so
// waits go in short slices and look at the socket's flag between them.
constexpr std::chrono::milliseconds waitSlice{100};

// Waits until the socket is ready; false when the deadline passes first. A connection attempt is
// done when the socket is writable (connected) or in the exception set (refused). Throws
// SocketError WSAESHUTDOWN once `shutDown` is set.
bool waitUntil(SOCKET s, Readiness wanted, SteadyClock::time_point deadline,
               const std::atomic<bool>& shutDown) {
    for (;;) {
        if (shutDown)
            throw SocketError(WSAESHUTDOWN);
        const auto left =
            std::max(std::chrono::ceil<std::chrono::microseconds>(deadline - SteadyClock::now()),
                     std::chrono::microseconds{0});
        const auto slice = std::min<std::chrono::microseconds>(left, waitSlice);
        timeval timeout{};
        timeout.tv_sec = static_cast<long>(slice.count() / 1000000);
        timeout.tv_usec = static_cast<long>(slice.count() % 1000000);
        fd_set readable, writable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        if (wanted == Readiness::Read)
            FD_SET(s, &readable);
        else
            FD_SET(s, &writable);
        if (wanted == Readiness::Connect)
            FD_SET(s, &failed);
        const int ready = select(0, &readable, &writable, &failed, &timeout);
        if (ready == SOCKET_ERROR)
            throw SocketError(lastError());
        if (ready > 0)
            return true;
        if (slice == left)
            return false;
    }
}

void makeNonBlocking(SOCKET s) {
    u_long on = 1;
    if (ioctlsocket(s, FIONBIO, &on) != 0)
        throw SocketError(lastError());
}

// Small writes (the request head) go out at once rather than waiting for an acknowledgement.
void sendWithoutDelay(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

int chunkSize(std::size_t count) {
    return static_cast<int>(std::min<std::size_t>(count, 1 << 30));
}

} // namespace

TcpSocket TcpSocket::connect(const std::string& host, std::uint16_t port,
                             std::chrono::milliseconds limit, const std::atomic<bool>* cancelled) {
    ensureWinsock();
    const auto deadline = SteadyClock::now() + limit;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const auto lookup = lookUpAddresses(getaddrinfo, freeaddrinfo, host, std::to_string(port),
                                        hints, deadline, cancelled, AI_NUMERICHOST);
    if (lookup.end != LookupEnd::Found)
        throw SocketError(lookup.end == LookupEnd::Cancelled ? WSAESHUTDOWN : WSAETIMEDOUT);
    addrinfo* found = lookup.found;
    if (lookup.resolved != 0)
        throw SocketError(lookup.resolved);
    const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);

    int lastFailure = WSAECONNREFUSED;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        const SOCKET s = socket(a->ai_family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            lastFailure = lastError();
            continue;
        }
        TcpSocket socket(static_cast<NativeSocket>(s));
        makeNonBlocking(s);
        if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            if (lastError() != WSAEWOULDBLOCK) {
                lastFailure = lastError();
                continue;
            }
            if (!waitUntil(s, Readiness::Connect, deadline,
                           cancelled != nullptr ? *cancelled : socket.shutDown_))
                throw SocketError(WSAETIMEDOUT);
            int error = 0;
            int length = sizeof error;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
            if (error != 0) {
                lastFailure = error;
                continue;
            }
        }
        sendWithoutDelay(s);
        return socket;
    }
    throw SocketError(lastFailure);
}

void TcpSocket::sendAll(std::string_view bytes, std::chrono::milliseconds limit) {
    const SOCKET s = native(handle_);
    const auto deadline = SteadyClock::now() + limit;
    while (!bytes.empty()) {
        const int sent = send(s, bytes.data(), chunkSize(bytes.size()), 0);
        if (sent != SOCKET_ERROR) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (lastError() != WSAEWOULDBLOCK)
            throw SocketError(lastError());
        if (!waitUntil(s, Readiness::Write, deadline, shutDown_))
            throw SocketError(WSAETIMEDOUT);
    }
}

std::size_t TcpSocket::receive(char* buffer, std::size_t count, std::chrono::milliseconds limit) {
    const SOCKET s = native(handle_);
    const auto deadline = SteadyClock::now() + limit;
    for (;;) {
        const int got = recv(s, buffer, chunkSize(count), 0);
        if (got != SOCKET_ERROR)
            return static_cast<std::size_t>(got);
        if (lastError() != WSAEWOULDBLOCK)
            throw SocketError(lastError());
        if (!waitUntil(s, Readiness::Read, deadline, shutDown_))
            throw SocketError(WSAETIMEDOUT);
    }
}

bool TcpSocket::peerClosed() const {
    const SOCKET s = native(handle_);
    char byte;
    const int got = recv(s, &byte, 1, MSG_PEEK);
    return got == 0 || (got == SOCKET_ERROR && lastError() != WSAEWOULDBLOCK);
}

void TcpSocket::shutdown() {
    shutDown_ = true;
    if (handle_ != invalidSocket)
        ::shutdown(static_cast<SOCKET>(handle_), SD_BOTH);
}

void TcpSocket::close() {
    if (handle_ != invalidSocket)
        closesocket(native(std::exchange(handle_, invalidSocket)));
}

TcpListener::TcpListener(int backlog) {
    ensureWinsock();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        throw SocketError(lastError());
    socket_ = TcpSocket(static_cast<NativeSocket>(s));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        listen(s, backlog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw SocketError(lastError());
    port_ = ntohs(address.sin_port);
}

TcpSocket TcpListener::accept(std::chrono::milliseconds limit) {
    const SOCKET s = native(socket_.handle_);
    if (!waitUntil(s, Readiness::Read, SteadyClock::now() + limit, socket_.shutDown_))
        throw SocketError(WSAETIMEDOUT);
    const SOCKET accepted = ::accept(s, nullptr, nullptr);
    if (accepted == INVALID_SOCKET)
        throw SocketError(lastError());
    TcpSocket connection(static_cast<NativeSocket>(accepted));
    makeNonBlocking(accepted);
    sendWithoutDelay(accepted);
    return connection;
}

} // namespace quorva
