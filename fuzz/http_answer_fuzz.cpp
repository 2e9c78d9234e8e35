// Arbitrary bytes as a server's answer: heads, cookies and every kind of body.

#include "platform/error.h"
#include "upload/http_answer.h"
#include "upload/http_cookies.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Hands the bytes out in pieces of a size the input chooses, to cross buffer boundaries.
class MemoryInput final : public quorva::HttpInput {
public:
    MemoryInput(const std::uint8_t* data, std::size_t size, std::size_t piece)
        : data_(data), size_(size), piece_(piece) {}
    std::size_t receive(char* buffer, std::size_t count) override {
        const std::size_t n = std::min({count, piece_, size_ - offset_});
        std::memcpy(buffer, data_ + offset_, n);
        offset_ += n;
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t piece_;
    std::size_t offset_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    MemoryInput input(data + 1, size - 1, piece);
    quorva::HttpAnswerReader reader(input);
    quorva::CookieJar cookies;
    try {
        const auto head = quorva::readAnswerHead(reader, [&](const quorva::HttpResponse& h) {
            for (const auto& [name, value] : h.headers)
                if (name == "Set-Cookie")
                    cookies.store(value, "www.example.com", "/KelbBin/", 0);
        });
        std::string body;
        quorva::readAnswerBody(reader, head, body);
        if (body.size() > size)
            std::abort();
        cookies.removeExpired(1);
        cookies.headerFor("www.example.com", "/KelbBin/ReportSPL");
    } catch (const quorva::Error&) {
        // "Connection closed by the server." is the one expected failure.
    }
    return 0;
}
