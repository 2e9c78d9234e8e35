#include "net/socket.h"

#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

namespace quorva {
namespace {

using namespace std::chrono_literals;

#ifdef _WIN32
constexpr int timedOutCode = 10060; // WSAETIMEDOUT
#else
constexpr int timedOutCode = ETIMEDOUT;
#endif

// Generous: only a broken test waits this long.
constexpr auto patience = 10s;

std::string receiveUntilClosed(TcpSocket& socket) {
    std::string received;
    char buffer[4096];
    while (std::size_t n = socket.receive(buffer, sizeof buffer, patience))
        received.append(buffer, n);
    return received;
}

TEST(TcpSocket, CarriesBytesBothWaysAndNoticesTheClose) {
    TcpListener listener;
    std::string serverGot;
    std::thread server([&] {
        TcpSocket peer = listener.accept(patience);
        char buffer[65536];
        // Echo the first megabyte back, then close.
        while (serverGot.size() < 1000000) {
            const std::size_t n = peer.receive(buffer, sizeof buffer, patience);
            if (n == 0)
                break;
            serverGot.append(buffer, n);
        }
        peer.sendAll(serverGot, patience);
    });

    std::string sent(1000000, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>(i % 253);
    TcpSocket client = TcpSocket::connect("127.0.0.1", listener.port(), patience);
    EXPECT_FALSE(client.peerClosed());
    client.sendAll(sent, patience);
    EXPECT_EQ(receiveUntilClosed(client), sent);
    server.join();
    EXPECT_EQ(serverGot, sent);
    EXPECT_TRUE(client.peerClosed());
    client.close();
    EXPECT_FALSE(client.isOpen());
}

TEST(TcpSocket, RefusedConnectionReportsTheSystemErrorNumberAndText) {
    std::uint16_t port;
    {
        TcpListener closedAgain;
        port = closedAgain.port();
    }
    try {
        TcpSocket::connect("127.0.0.1", port, patience);
        FAIL() << "connected to a closed port";
    } catch (const SocketError& e) {
        EXPECT_NE(e.code(), 0);
        EXPECT_EQ(std::string(e.what()), "Socket error " + std::to_string(e.code()) + ": " +
                                             systemErrorText(static_cast<unsigned long>(e.code())));
    }
}

TEST(TcpSocket, SilentPeerEndsTheWaitWithATimeOut) {
    TcpListener listener;
    TcpSocket client = TcpSocket::connect("127.0.0.1", listener.port(), patience);
    TcpSocket peer = listener.accept(patience);
    char buffer[16];
    try {
        client.receive(buffer, sizeof buffer, 100ms);
        FAIL() << "received from a silent peer";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.code(), timedOutCode);
    }
    // The connection still works after a time-out.
    peer.sendAll("x", patience);
    EXPECT_EQ(client.receive(buffer, sizeof buffer, patience), 1u);
}

TEST(TcpSocket, ConnectionThatIsNeverTakenEndsWithATimeOut) {
    // A listener that accepts nothing and keeps no queue: once its queue is full the system drops
    // further connection requests, which then never complete.
    TcpListener listener(0);
    std::vector<TcpSocket> queued;
    int timedOut = 0;
    for (int attempt = 0; attempt < 8 && timedOut == 0; ++attempt) {
        try {
            queued.push_back(TcpSocket::connect("127.0.0.1", listener.port(), 200ms));
        } catch (const SocketError& e) {
            EXPECT_EQ(e.code(), timedOutCode) << e.what();
            ++timedOut;
        }
    }
    EXPECT_EQ(timedOut, 1);
}

} // namespace
} // namespace quorva
