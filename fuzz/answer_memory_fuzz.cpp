// The client's answer reading against a server that plays a scripted start and then repeats a
// pattern without end: reading stops at a limit, and what the client keeps (head, cookies, body)
// stays within the limits whatever the server sends.

#include "platform/error.h"
#include "upload/http_answer.h"
#include "upload/http_cookies.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Limits of the real kind, smaller so that each run is quick.
constexpr quorva::HttpAnswerLimits limits{1024, 4096, 65536, 20};
// Far more than the limits let the client read: reaching it means reading without end.
constexpr std::size_t endlessBytes = 4 * 1024 * 1024;

void check(bool condition) {
    if (!condition)
        std::abort();
}

class ScriptedInput final : public quorva::HttpInput {
public:
    ScriptedInput(std::string start, std::string pattern)
        : start_(std::move(start)), pattern_(std::move(pattern)) {}
    std::size_t receive(char* buffer, std::size_t count) override {
        std::size_t n = 0;
        if (sent_ < start_.size()) {
            n = std::min(count, start_.size() - sent_);
            std::copy_n(start_.data() + sent_, n, buffer);
        } else if (!pattern_.empty()) {
            const std::size_t at = (sent_ - start_.size()) % pattern_.size();
            n = std::min(count, pattern_.size() - at);
            std::copy_n(pattern_.data() + at, n, buffer);
        }
        sent_ += n;
        check(sent_ <= endlessBytes);
        return n;
    }

private:
    std::string start_;
    std::string pattern_;
    std::size_t sent_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::string pattern = input.ConsumeRandomLengthString(64);
    ScriptedInput server(input.ConsumeRemainingBytesAsString(), std::move(pattern));
    quorva::HttpAnswerReader reader(server, limits);
    quorva::CookieJar cookies;
    std::string body;
    try {
        const auto head = quorva::readAnswerHead(reader, [&](const quorva::HttpResponse& h) {
            std::size_t headSize = h.statusLine.size();
            for (const auto& [name, value] : h.headers) {
                headSize += name.size() + value.size();
                if (name == "Set-Cookie")
                    cookies.store(value, "www.example.com", "/KelbBin/", 0);
            }
            check(h.statusLine.size() <= limits.line + 1 && headSize <= limits.head);
        });
        quorva::readAnswerBody(reader, head, body);
    } catch (const quorva::Error&) {
        // A close before the status line, or a limit passed: the exchange fails.
    }
    check(body.size() <= limits.body);
    check(cookies.size() <= quorva::CookieJar::maxCookies);
    check(cookies.headerFor("www.example.com", "/KelbBin/x").size() <=
          quorva::CookieJar::maxCookies * (quorva::CookieJar::maxCookieBytes + 3));
    return 0;
}
