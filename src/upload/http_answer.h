#pragma once

// Reading an HTTP answer: status line, header lines, body. The reader works on any byte source,
// so the same code parses answers from a socket and from memory.
//
// Everything kept from an answer is bounded, so that a server that never ends a line, a head or
// a body cannot make the desk grow without end: passing a limit fails the exchange.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorva {

// Where the answer's bytes come from.
class HttpInput {
public:
    virtual ~HttpInput() = default;
    // Up to `count` bytes (count > 0); 0 once the other side has closed.
    virtual std::size_t receive(char* buffer, std::size_t count) = 0;
};

// How much of an answer the client keeps. The report server's answers are a few hundred bytes.
struct HttpAnswerLimits {
    std::size_t line = 16 * 1024;        // one status or header line, or one chunk-size line
    std::size_t head = 64 * 1024;        // one head: status line and header lines
    std::size_t body = 16 * 1024 * 1024; // the answer body
    int interimHeads = 20;               // "100 Continue" heads before the real one
};

// Buffered line and byte reading over an HttpInput. Throws Error when a line or the body passes
// its limit.
class HttpAnswerReader {
public:
    explicit HttpAnswerReader(HttpInput& input, HttpAnswerLimits limits = {});

    const HttpAnswerLimits& limits() const { return limits_; }

    // The next line without its LF or CR LF. Nothing when the input closed before any byte of
    // it; a last line cut short by the close is returned as it is.
    std::optional<std::string> readLine();
    // Appends up to `count` bytes, fewer when the input closes first; returns how many. `out`
    // may not grow past the body limit.
    std::uint64_t append(std::string& out, std::uint64_t count);
    void appendUntilClosed(std::string& out);
    // The input has closed and every byte it gave has been read.
    bool exhausted() const { return closed_ && start_ == end_; }

private:
    bool fill();

    HttpInput& input_;
    HttpAnswerLimits limits_;
    std::vector<char> buffer_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    bool closed_ = false;
};

// One answer head.
struct HttpResponse {
    std::string statusLine;
    int statusCode = -1;
    std::vector<std::pair<std::string, std::string>> headers; // name and value, in order

    // Values of the headers with this name (any case), in order.
    std::vector<std::string> values(std::string_view name) const;
    // The first such value.
    std::optional<std::string> value(std::string_view name) const;
};

// The second blank-separated word of the status line as a decimal number, or -1.
int parseStatusCode(std::string_view statusLine);

// Reads heads (status line, header lines up to the empty line) until one whose status is not
// 100, and returns that one. Every head read is first handed to `onHead`. Throws Error
// "Connection closed by the server." when the input closes before a status line, Error
// "réponse du serveur interrompue" when it closes before the empty line, and Error when a head
// is too long or too many "100" heads come.
HttpResponse readAnswerHead(HttpAnswerReader& reader,
                            const std::function<void(const HttpResponse&)>& onHead);

// Appends the body that follows `head`: Content-Length bytes, chunks, or everything up to the
// close. A close before the announced end (fewer bytes than Content-Length, no last chunk) throws
// Error "réponse du serveur interrompue": the server may have acted on the request, and what came
// is not its whole answer.
void readAnswerBody(HttpAnswerReader& reader, const HttpResponse& head, std::string& out);

} // namespace quorva
