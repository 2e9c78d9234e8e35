#include "net/socket.h"

#include "net/lookup_within.h"

#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <future>
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

// A lookup that hangs (a name server that never answers) is given up on when the sender is asked
// to end; what it finds later is freed all the same.
TEST(LookUpWithin, ALookupThatHangsIsGivenUpOnWhenCancelledAndReleasedWhenItEnds) {
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::promise<int> released;
    std::atomic<bool> cancelled = false;
    std::thread asker([&] {
        std::this_thread::sleep_for(200ms);
        cancelled = true;
    });
    int result = 0;
    const LookupEnd end = lookUpWithin<int>(
        [answered] {
            answered.wait();
            return 7;
        },
        [&released](int& late) { released.set_value(late); }, std::chrono::steady_clock::now() + 1h,
        &cancelled, result);
    asker.join();
    EXPECT_EQ(end, LookupEnd::Cancelled);
    answer.set_value();
    std::future<int> late = released.get_future();
    ASSERT_EQ(late.wait_for(patience), std::future_status::ready);
    EXPECT_EQ(late.get(), 7);
}

} // namespace
} // namespace quorva
