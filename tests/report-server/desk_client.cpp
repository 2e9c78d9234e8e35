#include "desk_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

namespace quorva::testkit {

namespace {

constexpr std::size_t bodyPiece = 32768;

class Socket {
public:
    explicit Socket(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (fd_ < 0)
            throw std::runtime_error("socket failed");
        timeval timeout{10, 0}; // a server that never answers fails the test instead of hanging
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("connect failed");
    }
    ~Socket() { ::close(fd_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void send(std::string_view bytes) {
        if (!trySend(bytes))
            throw std::runtime_error("send failed");
    }

    // False when the server no longer takes bytes.
    bool trySend(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    // Whether the server has closed its side, without waiting.
    bool closedByServer() {
        char byte;
        return ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }

    // Appends up to `count` bytes; false when the server closed or nothing came in time.
    bool receive(std::string& into, std::size_t count) {
        char buffer[4096];
        const ssize_t got = ::recv(fd_, buffer, std::min(count, sizeof buffer), 0);
        if (got <= 0)
            return false;
        into.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

private:
    int fd_;
};

std::size_t contentLength(const std::string& head) {
    const std::string name = "\r\nContent-Length: ";
    const std::size_t at = head.find(name);
    if (at == std::string::npos)
        throw std::runtime_error("answer without Content-Length");
    return std::stoul(head.substr(at + name.size()));
}

RawAnswer readAnswer(Socket& socket) {
    std::string received;
    std::size_t headEnd;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos)
        if (!socket.receive(received, 4096))
            throw std::runtime_error("answer head incomplete");
    RawAnswer answer;
    const std::size_t lineEnd = received.find("\r\n");
    answer.statusLine = received.substr(0, lineEnd);
    answer.head = received.substr(lineEnd, headEnd - lineEnd + 2);
    const std::size_t length = contentLength(answer.head);
    answer.body = received.substr(headEnd + 4);
    while (answer.body.size() < length)
        if (!socket.receive(answer.body, length - answer.body.size()))
            throw std::runtime_error("answer body shorter than Content-Length");
    return answer;
}

} // namespace

std::string deskBody(const std::vector<std::pair<std::string, std::string>>& fields,
                     const std::vector<DeskFile>& files) {
    const std::string delimiter = "--" + std::string(deskBoundary) + "\r\n";
    std::string body;
    for (const auto& [name, value] : fields)
        body += delimiter + "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
                value + "\r\n";
    for (const DeskFile& file : files)
        body += delimiter + "Content-Disposition: form-data; name=\"" + file.field +
                "\"; filename=\"" + file.fileName +
                "\"\r\nContent-Type: multipart/form-data\r\n"
                "Content-Transfer-Encoding: binary\r\n\r\n" +
                file.content + "\r\n";
    return body + "--" + std::string(deskBoundary) + "--\r\n";
}

std::vector<std::pair<std::string, std::string>> deskFields(const std::string& fileField,
                                                            const std::string& maxFileSize) {
    return {{"XMLC_OutputFormat", "XML"},
            {"PrintDate", "07/12/2026"},
            {"Site", "VERNO"},
            {"JobID", "1"},
            {"MAX_FILE_SIZE", maxFileSize},
            {"FileName", fileField}};
}

RawAnswer postLikeDesk(int port, const std::string& target, const std::string& body) {
    Socket socket(port);
    socket.send("POST " + target +
                " HTTP/1.0\r\n"
                "Connection: keep-alive\r\n"
                "Content-Type: multipart/form-data; boundary=" +
                std::string(deskBoundary) + "\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nHost: 127.0.0.1:" + std::to_string(port) +
                "\r\nAccept: text/html, */*\r\n"
                "Accept-Encoding: identity\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Quorva)\r\n\r\n");
    for (std::size_t at = 0; at < body.size(); at += bodyPiece)
        socket.send(std::string_view(body).substr(at, bodyPiece));

    return readAnswer(socket);
}

RawAnswer sendRaw(int port, std::string_view request) {
    Socket socket(port);
    socket.trySend(request);
    return readAnswer(socket);
}

bool trickleUntilClosed(int port, std::string_view bytes, std::chrono::milliseconds pause,
                        const std::atomic<bool>& stop) {
    Socket socket(port);
    for (const char byte : bytes) {
        if (stop)
            return false;
        if (socket.closedByServer() || !socket.trySend(std::string_view(&byte, 1)))
            return true;
        std::this_thread::sleep_for(pause);
    }
    return false;
}

std::string commandOutput(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    ::pclose(pipe);
    return output;
}

} // namespace quorva::testkit
