#pragma once

// A loopback proxy that serves one CONNECT: it records the request head, connects to the host
// and port asked, answers 200 and relays the bytes both ways until either side closes.

#include "net/socket.h"

#include <string>
#include <thread>

namespace quorva::testkit {

class TunnelProxy {
public:
    TunnelProxy();
    ~TunnelProxy();
    TunnelProxy(const TunnelProxy&) = delete;
    TunnelProxy& operator=(const TunnelProxy&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    // Waits until the tunnel has closed; the request head the client sent, empty when none.
    const std::string& head();
    // What went wrong on the proxy's side, empty when nothing.
    const std::string& problem();

private:
    void run();

    TcpListener listener_;
    std::string head_;
    std::string problem_;
    std::thread thread_;
};

} // namespace quorva::testkit
