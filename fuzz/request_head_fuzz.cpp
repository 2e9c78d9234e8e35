// Arbitrary values through the request head and its line folding: the head is refused, or every
// line ends with CR LF, no other CR or LF stands in it, and unfolding gives back each value
// (up to blanks).

#include "platform/error.h"
#include "upload/http_request.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// The head's header lines as name and value, continuation lines joined to their header.
std::vector<std::pair<std::string, std::string>> unfolded(const std::string& head) {
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t at = head.find("\r\n") + 2;
    for (std::size_t end; (end = head.find("\r\n", at)) != at; at = end + 2) {
        const std::string line = head.substr(at, end - at);
        const std::size_t colon = line.find(':');
        if (line.front() == ' ')
            headers.back().second += line;
        else
            headers.emplace_back(line.substr(0, colon), line.substr(colon + 1));
    }
    return headers;
}

// What folding may change in a value: its blanks (a break after a comma adds one).
std::string withoutBlanks(std::string text) {
    std::erase(text, ' ');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    quorva::HttpRequestHead head;
    head.viaProxy = input.ConsumeBool();
    head.contentLength = input.ConsumeIntegral<std::int64_t>();
    head.target = input.ConsumeRandomLengthString(300);
    for (std::string* value : {&head.contentType, &head.host, &head.accept, &head.userAgent,
                               &head.authorization, &head.proxyAuthorization})
        *value = input.ConsumeRandomLengthString(200);
    head.cookie = input.ConsumeRemainingBytesAsString();
    std::string text;
    try {
        text = quorva::composeRequestHead(head);
    } catch (const quorva::Error&) {
        return 0;
    }
    check(text.ends_with("\r\n\r\n"));
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            check(i + 1 < text.size() && text[i + 1] == '\n');
        if (text[i] == '\n')
            check(i > 0 && text[i - 1] == '\r');
    }
    check(text.starts_with("POST " + head.target + " HTTP/1.0\r\n"));
    const std::pair<const char*, const std::string*> given[] = {
        {"Content-Type", &head.contentType},
        {"Host", &head.host},
        {"Accept", &head.accept},
        {"User-Agent", &head.userAgent},
        {"Authorization", &head.authorization},
        {"Proxy-Authorization", &head.proxyAuthorization},
        {"Cookie", &head.cookie},
    };
    const auto headers = unfolded(text);
    // Connection or Proxy-Connection, Content-Length and Accept-Encoding are the head's own.
    std::size_t expected = 3;
    for (const auto& entry : given) {
        const std::string name = entry.first;
        const std::string* value = entry.second;
        const auto found = std::find_if(headers.begin(), headers.end(),
                                        [&](const auto& header) { return header.first == name; });
        const bool optional = value == &head.authorization || value == &head.proxyAuthorization ||
                              value == &head.cookie;
        check((found != headers.end()) == (!optional || !value->empty()));
        if (found == headers.end())
            continue;
        ++expected;
        check(withoutBlanks(found->second) == withoutBlanks(*value));
    }
    check(headers.size() == expected);
    return 0;
}
