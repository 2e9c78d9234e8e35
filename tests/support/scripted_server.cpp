#include "support/scripted_server.h"

#include "net/ascii.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace quorva::testkit {

namespace {

// Only a broken test waits this long.
constexpr std::chrono::seconds patience{10};

// The announced body length of a request head, 0 when none is given.
std::size_t contentLength(const std::string& head) {
    const std::string lower = lowerAscii(head);
    const auto at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    return std::strtoul(lower.c_str() + at + 17, nullptr, 10);
}

// Appends what arrives until `complete` says the text is whole or the client closes.
template <typename Complete>
bool receiveUntil(TcpSocket& connection, std::string& text, Complete complete) {
    char buffer[65536];
    while (!complete(text)) {
        const std::size_t n = connection.receive(buffer, sizeof buffer, patience);
        if (n == 0)
            return false;
        text.append(buffer, n);
    }
    return true;
}

} // namespace

ScriptedServer::ScriptedServer(std::vector<ScriptedExchange> script)
    : script_(std::move(script)), thread_([this] { run(); }) {
}

ScriptedServer::~ScriptedServer() {
    finish();
}

std::string ScriptedServer::authority() const {
    return "127.0.0.1:" + std::to_string(port());
}

std::string ScriptedServer::url(const std::string& path) const {
    return "http://" + authority() + path;
}

void ScriptedServer::finish() {
    if (thread_.joinable())
        thread_.join();
}

const std::vector<ReceivedConnection>& ScriptedServer::received() {
    finish();
    return received_;
}

const std::string& ScriptedServer::problem() {
    finish();
    return problem_;
}

void ScriptedServer::run() {
    try {
        for (const ScriptedExchange& exchange : script_) {
            TcpSocket connection = listener_.accept(patience);
            received_.emplace_back();
            serve(connection, exchange);
        }
    } catch (const std::exception& e) {
        problem_ = e.what();
    }
}

void ScriptedServer::serve(TcpSocket& connection, const ScriptedExchange& exchange) {
    ReceivedConnection& got = received_.back();
    std::size_t wanted = std::string::npos;
    const bool whole = receiveUntil(connection, got.request, [&](const std::string& text) {
        const auto headEnd = text.find("\r\n\r\n");
        if (headEnd == std::string::npos)
            return false;
        wanted = headEnd + 4 + contentLength(text.substr(0, headEnd + 2));
        return text.size() >= wanted;
    });
    if (whole && got.request.size() > wanted) {
        got.afterAnswer = got.request.substr(wanted);
        got.request.resize(wanted);
    }
    if (!whole) {
        got.closedByClient = true;
        return;
    }
    if (exchange.pace > std::chrono::milliseconds::zero()) {
        for (const char byte : exchange.answer) {
            std::this_thread::sleep_for(exchange.pace);
            connection.sendAll(std::string_view(&byte, 1), patience);
        }
    } else if (exchange.then != ScriptedExchange::Then::Silent) {
        connection.sendAll(exchange.answer, patience);
    }
    if (exchange.then != ScriptedExchange::Then::Close)
        got.closedByClient =
            !receiveUntil(connection, got.afterAnswer, [](const std::string&) { return false; });
}

} // namespace quorva::testkit
