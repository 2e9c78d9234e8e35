#pragma once

// A loopback HTTP server that plays a script: for each connection in turn it reads the whole
// request (head and Content-Length body), records its bytes, sends the canned answer and then
// closes, keeps the connection open until the client closes it, or stays silent.

#include "net/socket.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace quorva::testkit {

struct ScriptedExchange {
    enum class Then {
        Close,    // close right after the answer (an empty answer: close without answering)
        KeepOpen, // leave the connection open until the client closes it
        Silent,   // send nothing at all; wait until the client closes
    };
    std::string answer;
    Then then = Then::Close;
    // Above zero: the answer goes out one byte at a time, with this pause before each byte.
    std::chrono::milliseconds pace{0};
};

struct ReceivedConnection {
    std::string request;     // the request's bytes, up to the end of its announced body
    std::string afterAnswer; // anything the client sent later on the same connection
    bool closedByClient = false;
};

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<ScriptedExchange> script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    // "127.0.0.1:<port>"
    std::string authority() const;
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string url(const std::string& path) const;

    // Waits until the script has run and returns one entry per connection served.
    const std::vector<ReceivedConnection>& received();
    // What went wrong on the server's side (a connection that never came), empty when nothing.
    const std::string& problem();

private:
    void run();
    void serve(TcpSocket& connection, const ScriptedExchange& exchange);
    void finish();

    TcpListener listener_;
    std::vector<ScriptedExchange> script_;
    std::vector<ReceivedConnection> received_;
    std::string problem_;
    std::thread thread_;
};

} // namespace quorva::testkit
