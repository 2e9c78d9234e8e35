#include "upload/http_request.h"

#include "net/ascii.h"
#include "platform/error.h"

#include <algorithm>

namespace quorva {

namespace {

constexpr std::size_t foldWidth = 78;

bool isBreak(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

// The last guard of the head: a CR or LF in a value would start a line of its own.
void refuseControlCharacters(std::string_view what, std::string_view text) {
    if (hasControlCharacter(text))
        throw Error("Requête refusée : " + std::string(what) +
                    " contient un caractère de contrôle");
}

void addHeader(std::string& head, std::string_view name, std::string_view value) {
    refuseControlCharacters(name, value);
    std::string line(name);
    line += ": ";
    line += value;
    head += foldHeaderLine(line);
}

} // namespace

std::string foldHeaderLine(std::string_view line) {
    std::string folded;
    std::string rest(line);
    while (rest.size() > foldWidth) {
        // The last break that keeps the piece within the width, else the first one after it.
        // Position 0 never breaks: a continuation line starts with its blank.
        std::size_t cut = std::string::npos;
        for (std::size_t i = foldWidth - 1; i >= 1 && cut == std::string::npos; --i)
            if (isBreak(rest[i]))
                cut = i;
        if (cut == std::string::npos) {
            const auto after = std::find_if(rest.begin() + foldWidth, rest.end(), isBreak);
            if (after == rest.end())
                break;
            cut = static_cast<std::size_t>(after - rest.begin());
        }
        const std::string_view remainder = trimBlanks(std::string_view(rest).substr(cut + 1));
        std::string_view piece = std::string_view(rest).substr(0, cut + 1);
        piece = piece.substr(0, piece.find_last_not_of(" \t") + 1);
        folded.append(piece).append("\r\n");
        if (remainder.empty())
            return folded;
        rest = " " + std::string(remainder);
    }
    const std::string_view last =
        std::string_view(rest).substr(0, rest.find_last_not_of(" \t") + 1);
    folded.append(last).append("\r\n");
    return folded;
}

std::string composeRequestHead(const HttpRequestHead& head) {
    refuseControlCharacters("la cible", head.target);
    std::string text = "POST " + head.target + " HTTP/1.0\r\n";
    if (!head.viaProxy)
        addHeader(text, "Connection", "keep-alive");
    addHeader(text, "Content-Type", head.contentType);
    addHeader(text, "Content-Length", std::to_string(head.contentLength));
    if (head.viaProxy)
        addHeader(text, "Proxy-Connection", "keep-alive");
    addHeader(text, "Host", head.host);
    addHeader(text, "Accept", head.accept);
    addHeader(text, "Accept-Encoding", "identity");
    addHeader(text, "User-Agent", head.userAgent);
    if (!head.authorization.empty())
        addHeader(text, "Authorization", head.authorization);
    if (!head.proxyAuthorization.empty())
        addHeader(text, "Proxy-Authorization", head.proxyAuthorization);
    if (!head.cookie.empty())
        addHeader(text, "Cookie", head.cookie);
    return text + "\r\n";
}

std::string composeConnectHead(const std::string& authority,
                               const std::string& proxyAuthorization) {
    refuseControlCharacters("la cible", authority);
    std::string text = "CONNECT " + authority + " HTTP/1.0\r\n";
    if (!proxyAuthorization.empty())
        addHeader(text, "Proxy-Authorization", proxyAuthorization);
    return text + "\r\n";
}

std::string base64Encode(std::string_view bytes) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            encoded += k <= n ? alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return encoded;
}

} // namespace quorva
