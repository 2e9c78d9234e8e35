#include "net/socket.h"

#include "platform/system_error.h"

#include <utility>

namespace quorva {

SocketError::SocketError(int code)
    : SocketError(code, systemErrorText(static_cast<unsigned long>(code))) {
}

SocketError::SocketError(int code, const std::string& text)
    : Error("Socket error " + std::to_string(code) + ": " + text), code_(code) {
}

TcpSocket::~TcpSocket() {
    close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, invalidSocket)), shutDown_(other.shutDown_.load()) {
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, invalidSocket);
        shutDown_ = other.shutDown_.load();
    }
    return *this;
}

bool TcpSocket::isOpen() const {
    return handle_ != invalidSocket;
}

} // namespace quorva
