#pragma once

// What the desk sends to the report server, byte for byte, and the way it reads the answer.

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorva::testkit {

inline constexpr std::string_view deskBoundary = "--------120726140509042";

struct DeskFile {
    std::string field;    // the spool file's bare name
    std::string fileName; // its full Windows path
    std::string content;
};

// A multipart/form-data body laid out like the desk's: text parts, then the file part with
// content type multipart/form-data and binary transfer encoding, then the closing line.
std::string deskBody(const std::vector<std::pair<std::string, std::string>>& fields,
                     const std::vector<DeskFile>& files);

// The six fields of an upload of `file`, as the desk fills them.
std::vector<std::pair<std::string, std::string>> deskFields(const std::string& fileField,
                                                            const std::string& maxFileSize);

struct RawAnswer {
    std::string statusLine;
    std::string head; // header lines, CRLF-separated
    std::string body; // exactly Content-Length bytes
};

// Posts over a fresh socket as an HTTP/1.0 request with "Connection: keep-alive", the head in
// one write and the body in pieces of 32768 bytes, then reads the answer head and
// Content-Length body bytes, and closes without waiting for the server to close.
RawAnswer postLikeDesk(int port, const std::string& target, const std::string& body);

// Sends `request` as it is, stopping quietly when the server no longer takes bytes, then reads
// the answer like postLikeDesk.
RawAnswer sendRaw(int port, std::string_view request);

// Sends `bytes` one at a time with `pause` after each, until all are sent or `stop` is set.
// True when the server closed the connection first.
bool trickleUntilClosed(int port, std::string_view bytes, std::chrono::milliseconds pause,
                        const std::atomic<bool>& stop);

// Standard output of a shell command.
std::string commandOutput(const std::string& command);

} // namespace quorva::testkit
