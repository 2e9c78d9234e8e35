#include "upload/http_answer.h"

#include "net/ascii.h"
#include "platform/error.h"

#include <algorithm>

namespace quorva {

namespace {

constexpr std::size_t bufferSize = 32768;

[[noreturn]] void refuse(const std::string& what, std::size_t limit) {
    throw Error("Réponse du serveur refusée : " + what + " de plus de " + std::to_string(limit) +
                " octets");
}

// "Name: value"; a line that starts with a blank continues the previous header's value.
void addHeaderLine(HttpResponse& head, std::string_view line) {
    if ((line.front() == ' ' || line.front() == '\t') && !head.headers.empty()) {
        head.headers.back().second += ' ';
        head.headers.back().second += trimBlanks(line);
        return;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    head.headers.emplace_back(std::string(trimBlanks(line.substr(0, colon))),
                              std::string(trimBlanks(line.substr(colon + 1))));
}

[[noreturn]] void cutShort() {
    throw Error("réponse du serveur interrompue");
}

HttpResponse readOneHead(HttpAnswerReader& reader) {
    HttpResponse head;
    auto statusLine = reader.readLine();
    if (!statusLine)
        throw Error("Connection closed by the server.");
    head.statusLine = std::move(*statusLine);
    head.statusCode = parseStatusCode(head.statusLine);
    std::size_t headSize = head.statusLine.size() + 2;
    for (;;) {
        // A close inside the head leaves the answer unknown, though the server may have acted.
        auto line = reader.readLine();
        if (!line)
            cutShort();
        if (line->empty())
            break;
        headSize += line->size() + 2;
        if (headSize > reader.limits().head)
            refuse("en-tête", reader.limits().head);
        addHeaderLine(head, *line);
    }
    return head;
}

// False when the input closed before the last chunk.
bool readChunks(HttpAnswerReader& reader, std::string& out) {
    while (auto line = reader.readLine()) {
        // The size ends at the first blank; chunk extensions after ";" are not part of it.
        const std::string_view sizeText =
            std::string_view(*line).substr(0, line->find_first_of(" \t;"));
        const auto size = parseWholeNumber<std::int64_t>(sizeText, 16);
        if (!size || *size <= 0) {
            reader.readLine();
            return true;
        }
        const auto wanted = static_cast<std::uint64_t>(*size);
        if (reader.append(out, wanted) < wanted)
            return false;
        reader.readLine();
    }
    return false;
}

} // namespace

HttpAnswerReader::HttpAnswerReader(HttpInput& input, HttpAnswerLimits limits)
    : input_(input), limits_(limits), buffer_(bufferSize) {
}

bool HttpAnswerReader::fill() {
    if (closed_)
        return false;
    start_ = 0;
    end_ = input_.receive(buffer_.data(), buffer_.size());
    closed_ = end_ == 0;
    return !closed_;
}

std::optional<std::string> HttpAnswerReader::readLine() {
    std::string line;
    bool any = false;
    for (;;) {
        if (start_ == end_ && !fill())
            break;
        any = true;
        const char* begin = buffer_.data() + start_;
        const char* stop = buffer_.data() + end_;
        const char* lf = std::find(begin, stop, '\n');
        // The CR of the line's end may still be in it.
        if (line.size() + static_cast<std::size_t>(lf - begin) > limits_.line + 1)
            refuse("ligne", limits_.line);
        line.append(begin, lf);
        start_ = static_cast<std::size_t>(lf - buffer_.data());
        if (lf != stop) {
            ++start_;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
    }
    if (!any)
        return std::nullopt;
    return line;
}

std::uint64_t HttpAnswerReader::append(std::string& out, std::uint64_t count) {
    std::uint64_t done = 0;
    while (done < count && (start_ < end_ || fill())) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, end_ - start_));
        if (out.size() + n > limits_.body)
            refuse("corps", limits_.body);
        out.append(buffer_.data() + start_, n);
        start_ += n;
        done += n;
    }
    return done;
}

void HttpAnswerReader::appendUntilClosed(std::string& out) {
    while (start_ < end_ || fill()) {
        if (out.size() + (end_ - start_) > limits_.body)
            refuse("corps", limits_.body);
        out.append(buffer_.data() + start_, end_ - start_);
        start_ = end_;
    }
}

std::vector<std::string> HttpResponse::values(std::string_view name) const {
    std::vector<std::string> found;
    for (const auto& [headerName, headerValue] : headers)
        if (equalsNoCase(headerName, name))
            found.push_back(headerValue);
    return found;
}

std::optional<std::string> HttpResponse::value(std::string_view name) const {
    for (const auto& [headerName, headerValue] : headers)
        if (equalsNoCase(headerName, name))
            return headerValue;
    return std::nullopt;
}

int parseStatusCode(std::string_view statusLine) {
    std::string_view rest = trimBlanks(statusLine);
    rest = trimBlanks(rest.substr(std::min(rest.size(), rest.find_first_of(" \t"))));
    const std::string_view word = rest.substr(0, rest.find_first_of(" \t"));
    if (word.empty() || word.size() > 9 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return static_cast<int>(*parseWholeNumber<std::int64_t>(word));
}

HttpResponse readAnswerHead(HttpAnswerReader& reader,
                            const std::function<void(const HttpResponse&)>& onHead) {
    for (int interim = 0;; ++interim) {
        HttpResponse head = readOneHead(reader);
        onHead(head);
        if (head.statusCode != 100)
            return head;
        if (interim == reader.limits().interimHeads)
            throw Error("Réponse du serveur refusée : plus de " +
                        std::to_string(reader.limits().interimHeads) + " réponses « 100 »");
    }
}

void readAnswerBody(HttpAnswerReader& reader, const HttpResponse& head, std::string& out) {
    const auto lengthText = head.value("Content-Length");
    const auto length = lengthText ? parseWholeNumber<std::int64_t>(*lengthText) : std::nullopt;
    if (length && *length > 0) {
        const auto wanted = static_cast<std::uint64_t>(*length);
        if (reader.append(out, wanted) < wanted)
            cutShort();
        return;
    }
    const auto encoding = head.value("Transfer-Encoding");
    if (encoding && lowerAscii(*encoding).find("chunked") != std::string::npos) {
        if (!readChunks(reader, out))
            cutShort();
        return;
    }
    if (!length)
        reader.appendUntilClosed(out);
}

} // namespace quorva
