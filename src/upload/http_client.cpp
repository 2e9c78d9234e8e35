#include "upload/http_client.h"

#include "net/ascii.h"
#include "net/socket.h"
#include "net/tls.h"
#include "net/url.h"
#include "upload/http_request.h"
#include "upload/multipart_form.h"

#include <algorithm>
#include <vector>

namespace quorva {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// The end of the whole exchange: each wait lasts at most its own limit and never past this end,
// so a server that trickles its bytes cannot stretch the exchange.
class HttpClient::Deadline {
public:
    explicit Deadline(std::chrono::milliseconds limit)
        : limit_(limit), end_(SteadyClock::now() + limit) {}

    // Calls `wait` with `patience`, or with less when the exchange must end sooner. A wait cut
    // by the end of the exchange fails with the exchange's own reason.
    template <typename Wait> auto run(std::chrono::milliseconds patience, Wait wait) const {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - SteadyClock::now());
        if (left <= 0ms)
            throw tooLong();
        try {
            return wait(std::min(patience, left));
        } catch (const SocketError&) {
            if (SteadyClock::now() >= end_)
                throw tooLong();
            throw;
        }
    }

private:
    Error tooLong() const {
        const auto count = limit_.count();
        return Error("Échange avec le serveur interrompu : plus de " +
                     (count % 1000 == 0 ? std::to_string(count / 1000) + " s"
                                        : std::to_string(count) + " ms"));
    }

    std::chrono::milliseconds limit_;
    SteadyClock::time_point end_;
};

namespace {

constexpr std::size_t bodyPiece = 32768;

class ConnectionInput final : public HttpInput {
public:
    using Deadline = HttpClient::Deadline;
    ConnectionInput(Connection& connection, std::chrono::milliseconds limit,
                    const Deadline& deadline)
        : connection_(connection), limit_(limit), deadline_(deadline) {}
    std::size_t receive(char* buffer, std::size_t count) override {
        return deadline_.run(limit_, [&](std::chrono::milliseconds wait) {
            return connection_.receive(buffer, count, wait);
        });
    }

private:
    Connection& connection_;
    std::chrono::milliseconds limit_;
    const Deadline& deadline_;
};

std::uint16_t portNumber(std::string_view text) {
    const auto value = parseWholeNumber<unsigned>(text);
    if (!value || *value == 0 || *value > 65535)
        throw Error("Invalid port number: " + std::string(text));
    return static_cast<std::uint16_t>(*value);
}

std::string_view firstWord(std::string_view text) {
    text = trimBlanks(text);
    return text.substr(0, text.find_first_of(" \t,"));
}

bool offersBasic(const std::vector<std::string>& offers) {
    return std::any_of(offers.begin(), offers.end(), [](const std::string& offer) {
        return equalsNoCase(firstWord(offer), "Basic");
    });
}

std::string basicCredential(const std::string& user, const std::string& password) {
    return "Basic " + base64Encode(user + ":" + password);
}

bool isKeepAlive(const std::optional<std::string>& value) {
    return value && equalsNoCase(trimBlanks(*value), "keep-alive");
}

std::int64_t secondsSince1970() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

HttpStatusError protocolError(HttpAnswerReader& reader, const HttpResponse& head) {
    std::string body;
    readAnswerBody(reader, head, body);
    return HttpStatusError(head.statusCode, head.statusLine, std::move(body));
}

} // namespace

HttpStatusError::HttpStatusError(int errorCode, const std::string& statusLine, std::string body)
    : Error(statusLine), errorCode_(errorCode), body_(std::move(body)) {
}

struct HttpClient::Target {
    std::string host;        // the URL's, for Host and cookies
    std::string folder;      // the URL's path, for new cookies
    std::string requestPath; // path and document, for matching cookies
    std::string hostHeader;
    std::string requestTarget;
    std::string connectHost;
    std::uint16_t connectPort = 0;
    bool viaProxy = false; // the request goes to the proxy, with the absolute URL
    bool secure = false;   // https: TLS with the server
    bool tunnel = false;   // https through a proxy: CONNECT to `authority` first
    std::string authority; // host:port
};

HttpClient::Target HttpClient::prepare(const std::string& address) {
    // A CR or LF would end the request line early and let the address add lines of its own.
    if (hasControlCharacter(address))
        throw Error("Adresse du serveur refusée : elle contient un caractère de contrôle");
    Url url = parseUrl(address);
    // An address without scheme or host goes to the previous request's server.
    if (url.protocol.empty())
        url.protocol = lastProtocol_;
    if (url.host.empty()) {
        url.host = lastHost_;
        url.port = lastPort_;
    }
    if (url.protocol.empty() || url.host.empty())
        throw Error("No host to connect to.");
    const std::string origin =
        lowerAscii(url.protocol) + "://" + lowerAscii(url.host) + ":" + url.port;
    if (origin != credentialOrigin_) {
        // What one server was told, or asked for, never goes to another.
        if (!credentialOrigin_.empty())
            forgetCredentials();
        credentialOrigin_ = origin;
    }
    if (!url.username.empty()) {
        request_.username = url.username;
        request_.password = url.password;
    }
    Target target;
    const bool proxied = !proxyServer_.empty();
    target.secure = equalsNoCase(url.protocol, "https");
    target.viaProxy = proxied && !target.secure;
    target.tunnel = proxied && target.secure;
    target.authority = url.host + ":" + url.port;
    target.host = url.host;
    target.folder = url.path;
    target.requestPath = url.path + url.document;
    target.hostHeader = url.port == "80" ? url.host : url.host + ":" + url.port;
    const std::string pathAndQuery = url.path + url.document + url.params;
    target.requestTarget =
        target.viaProxy ? url.protocol + "://" + target.hostHeader + pathAndQuery : pathAndQuery;
    if (proxied) {
        target.connectHost = proxyServer_;
        target.connectPort = portNumber(std::to_string(proxyPort_));
    } else {
        target.connectHost = url.host;
        target.connectPort = portNumber(url.port);
    }
    lastProtocol_ = url.protocol;
    lastHost_ = url.host;
    lastPort_ = url.port;
    return target;
}

void HttpClient::forgetCredentials() {
    const RequestOptions defaults;
    request_.username = defaults.username;
    request_.password = defaults.password;
    credential_.reset();
    credentialOrigin_.clear();
}

void HttpClient::interrupt() {
    const std::lock_guard lock(connectionMutex_);
    interrupted_ = true;
    if (connection_)
        connection_->shutdown();
}

void HttpClient::postMultipart(const std::string& url, MultipartForm& body, std::string& answer) {
    // A server that asks for Basic credentials first gets the request again at once with them.
    if (exchange(url, body, answer) == Exchange::Unauthorized)
        exchange(url, body, answer);
}

HttpClient::Exchange HttpClient::exchange(const std::string& url, MultipartForm& body,
                                          std::string& answer) {
    requestSent_ = false;
    closeConnection();
    if (interrupted_)
        throw Error("Échange avec le serveur interrompu");
    request_.contentType = body.bodyContentType();
    const Target target = prepare(url);
    if (request_.basicAuthentication && !credential_)
        credential_ = basicCredential(request_.username, request_.password);
    cookies_.removeExpired(secondsSince1970());

    HttpRequestHead head;
    head.target = target.requestTarget;
    head.viaProxy = target.viaProxy;
    head.contentType = request_.contentType;
    head.contentLength = body.size();
    head.host = target.hostHeader;
    head.accept = request_.accept;
    head.userAgent = request_.userAgent;
    head.authorization = credential_.value_or("");
    head.proxyAuthorization = proxyCredential_.value_or("");
    head.cookie = cookies_.headerFor(target.host, target.requestPath);

    const std::string requestHead = composeRequestHead(head);
    const Deadline deadline(exchangeLimit_);
    std::optional<HttpStatusError> failure;
    try {
        open(target, deadline);
        send(requestHead, deadline);
        sendBody(body, head.contentLength, deadline);
        requestSent_ = true;

        ConnectionInput input(*connection_, readTimeout_, deadline);
        HttpAnswerReader reader(input);
        const HttpResponse response = readAnswerHead(reader, [&](const HttpResponse& h) {
            const auto now = secondsSince1970();
            for (const auto& [name, value] : h.headers)
                if (equalsNoCase(name, "Set-cookie") || equalsNoCase(name, "Set-cookie2"))
                    cookies_.store(value, target.host, target.folder, now);
        });
        if (response.statusCode == 401 && !credential_ &&
            offersBasic(response.values("WWW-Authenticate"))) {
            credential_ = basicCredential(request_.username, request_.password);
            closeConnection();
            return Exchange::Unauthorized;
        }
        failure = judge(reader, response, answer);
        settle(reader, response);
    } catch (...) {
        closeConnection();
        throw;
    }
    if (failure)
        throw *failure;
    return Exchange::Answered;
}

void HttpClient::closeConnection() {
    const std::lock_guard lock(connectionMutex_);
    connection_.reset();
}

// Every step waits on a connection that interrupt() can reach.
void HttpClient::open(const Target& target, const Deadline& deadline) {
    auto socket = deadline.run(connectTimeout_, [&](std::chrono::milliseconds wait) {
        return std::make_unique<TcpSocket>(
            TcpSocket::connect(target.connectHost, target.connectPort, wait, &interrupted_));
    });
    {
        const std::lock_guard lock(connectionMutex_);
        connection_ = std::move(socket);
        // An interrupt that came while the connection was being made.
        if (interrupted_)
            connection_->shutdown();
    }
    if (target.tunnel)
        openTunnel(target, deadline);
    if (target.secure)
        startTls(target.host, deadline);
}

void HttpClient::openTunnel(const Target& target, const Deadline& deadline) {
    send(composeConnectHead(target.authority, proxyCredential_.value_or("")), deadline);
    ConnectionInput input(*connection_, readTimeout_, deadline);
    HttpAnswerReader reader(input);
    const HttpResponse answer = readAnswerHead(reader, [](const HttpResponse&) {});
    if (answer.statusCode >= 200 && answer.statusCode <= 299)
        return;
    if (answer.statusCode == 407)
        noteProxyOffer(answer);
    throw protocolError(reader, answer);
}

void HttpClient::startTls(const std::string& host, const Deadline& deadline) {
    TlsConnection* tls = nullptr;
    {
        const std::lock_guard lock(connectionMutex_);
        auto secured = tlsOver(std::move(connection_), host);
        tls = secured.get();
        connection_ = std::move(secured);
    }
    deadline.run(readTimeout_, [&](std::chrono::milliseconds wait) {
        tls->handshake(wait);
        return true;
    });
}

void HttpClient::send(std::string_view bytes, const Deadline& deadline) {
    deadline.run(readTimeout_, [&](std::chrono::milliseconds wait) {
        connection_->sendAll(bytes, wait);
        return true;
    });
}

void HttpClient::sendBody(MultipartForm& body, std::int64_t length, const Deadline& deadline) {
    body.rewind();
    std::vector<char> piece(bodyPiece);
    for (auto left = static_cast<std::uint64_t>(length); left > 0;) {
        const std::size_t got = body.read(
            piece.data(), static_cast<std::size_t>(std::min<std::uint64_t>(left, bodyPiece)));
        if (got == 0)
            throw Error("No data to read.");
        send(std::string_view(piece.data(), got), deadline);
        left -= got;
    }
}

std::optional<HttpStatusError> HttpClient::judge(HttpAnswerReader& reader, const HttpResponse& head,
                                                 std::string& answer) {
    const int code = head.statusCode;
    // Redirects are not followed; a Location makes any answer one.
    if ((code >= 300 && code <= 399 && code != 304) || !head.value("Location").value_or("").empty())
        return protocolError(reader, head);
    if (code >= 200 && code <= 299) {
        if (code != 204)
            readAnswerBody(reader, head, answer);
        return std::nullopt;
    }
    if (code == 401) {
        // Refused although the credential went with the request: this answer's page is the
        // answer. A first 401 that offers Basic never gets here (the request is sent again).
        if (!credential_)
            return protocolError(reader, head);
        readAnswerBody(reader, head, answer);
        return std::nullopt;
    }
    if (code == 407)
        noteProxyOffer(head);
    return protocolError(reader, head);
}

void HttpClient::noteProxyOffer(const HttpResponse& head) {
    const auto offers = head.values("Proxy-Authenticate");
    if (!proxyCredential_ && !offers.empty() && equalsNoCase(firstWord(offers.front()), "Basic"))
        proxyCredential_ = basicCredential("", "");
}

void HttpClient::settle(const HttpAnswerReader& reader, const HttpResponse& head) {
    const bool keepAlive =
        isKeepAlive(head.value("Connection")) || isKeepAlive(head.value("Proxy-Connection"));
    if (!keepAlive || reader.exhausted() || connection_->peerClosed())
        closeConnection();
}

} // namespace quorva
