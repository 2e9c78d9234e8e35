#include "support/tunnel_proxy.h"

#include <charconv>

namespace quorva::testkit {

namespace {

// Only a broken test waits this long.
constexpr std::chrono::seconds patience{10};

// Copies until `from` closes, then ends both directions of `to`.
void relay(TcpSocket& from, TcpSocket& to) {
    char buffer[65536];
    try {
        while (const std::size_t n = from.receive(buffer, sizeof buffer, patience))
            to.sendAll(std::string_view(buffer, n), patience);
    } catch (const SocketError&) {
        // The other direction ended the tunnel first.
    }
    to.shutdown();
}

} // namespace

TunnelProxy::TunnelProxy() : thread_([this] { run(); }) {
}

TunnelProxy::~TunnelProxy() {
    if (thread_.joinable())
        thread_.join();
}

const std::string& TunnelProxy::head() {
    if (thread_.joinable())
        thread_.join();
    return head_;
}

const std::string& TunnelProxy::problem() {
    head();
    return problem_;
}

void TunnelProxy::run() {
    try {
        TcpSocket client = listener_.accept(patience);
        char buffer[4096];
        while (head_.find("\r\n\r\n") == std::string::npos) {
            const std::size_t n = client.receive(buffer, sizeof buffer, patience);
            if (n == 0)
                return;
            head_.append(buffer, n);
        }
        // "CONNECT host:port HTTP/1.0"
        const std::size_t start = head_.find(' ') + 1;
        const std::string authority = head_.substr(start, head_.find(' ', start) - start);
        const std::size_t colon = authority.rfind(':');
        std::uint16_t port = 0;
        std::from_chars(authority.data() + colon + 1, authority.data() + authority.size(), port);
        TcpSocket server = TcpSocket::connect(authority.substr(0, colon), port, patience);
        client.sendAll("HTTP/1.0 200 Connection established\r\n\r\n", patience);
        std::thread back([&] { relay(server, client); });
        relay(client, server);
        back.join();
    } catch (const std::exception& e) {
        problem_ = e.what();
    }
}

} // namespace quorva::testkit
