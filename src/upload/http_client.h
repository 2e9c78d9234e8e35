#pragma once

// The HTTP/1.0 client that posts uploads to the report server.
//
// One client serves the whole run. Every post opens a new connection (a connection the server
// let stay open is closed at the start of the next post) and sends the head in one block, then
// the body in pieces of at most 32768 bytes. An https address speaks the same bytes over TLS,
// once the server's certificate is checked; through a proxy it goes in a CONNECT tunnel, so
// that the proxy sees only the server's host and port. The answer is judged in a fixed order:
// redirect (also any answer carrying a Location), success, 401, 407, anything else. Kept from one
// post to the next: the Basic credentials once a server or proxy has asked for them, and the
// cookies. A server's credential (and the user and password an address carried) goes only to
// that server's scheme, host and port: a post to another one starts without them.
//
// A hostile or broken server cannot hold the desk: every wait has a limit, the whole exchange
// has one too, and what is kept of the answer is bounded (HttpAnswerLimits).

#include "net/connection.h"
#include "platform/error.h"
#include "upload/http_answer.h"
#include "upload/http_cookies.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quorva {

class MultipartForm;

// A bad HTTP status: its code, the status line as the message, the answer body as second text.
class HttpStatusError : public Error {
public:
    HttpStatusError(int errorCode, const std::string& statusLine, std::string body);
    int statusCode() const { return errorCode_; }
    const std::string& answerBody() const { return body_; }

private:
    int errorCode_;
    std::string body_;
};

class HttpClient {
public:
    struct RequestOptions {
        std::string accept = "text/html, */*";
        std::string userAgent = "Mozilla/3.0 (compatible; Quorva)";
        std::string contentType = "text/html";
        std::string username = "SPL";
        std::string password;
        // Sends credentials from username and password without waiting to be asked.
        bool basicAuthentication = false;
    };

    static constexpr std::chrono::milliseconds defaultConnectTimeout{15000};
    static constexpr std::chrono::milliseconds defaultReadTimeout{60000};
    static constexpr std::chrono::milliseconds defaultExchangeLimit{5 * 60 * 1000};

    RequestOptions& options() { return request_; }

    // Start-up's proxy; an empty server means no proxy.
    void setProxyServer(const std::string& server) { proxyServer_ = server; }
    void setProxyPort(int port) { proxyPort_ = port; }
    const std::string& proxyServer() const { return proxyServer_; }
    int proxyPort() const { return proxyPort_; }

    // How long a connection attempt may last, and how long a wait for answer bytes, or the
    // sending of one piece of the request, may last. Passing either limit fails the exchange
    // with a socket error.
    void setConnectTimeout(std::chrono::milliseconds limit) { connectTimeout_ = limit; }
    void setReadTimeout(std::chrono::milliseconds limit) { readTimeout_ = limit; }
    // How long one whole post may last, from the connection to the answer's last byte, however
    // the server paces its bytes.
    void setExchangeLimit(std::chrono::milliseconds limit) { exchangeLimit_ = limit; }

    // Posts `body` to `url` and appends the answer body to `answer`. Returns normally for a 2xx
    // answer and for a 401 that offered Basic authentication (its page is then the answer).
    // Throws HttpStatusError for a bad status (also the proxy's answer to CONNECT), SocketError
    // when the network fails, and Error for the rest ("Connection closed by the server.", "No
    // data to read.", a refused certificate, a failed TLS negotiation, an address holding a
    // control character, a limit passed).
    void postMultipart(const std::string& url, MultipartForm& body, std::string& answer);

    // Forgets the server's credential and the user and password taken from an address, as when
    // the address they came with is no longer the one to use.
    void forgetCredentials();

    // Whether the last answer's connection is still open (only until the next post).
    bool connected() const { return connection_ != nullptr; }
    // Whether the last post's whole request went out (its answer may still have failed).
    bool requestSent() const { return requestSent_; }
    // Ends the exchange under way, from another thread, and every one after it: its waits on the
    // server return at once, also a connection still being made.
    void interrupt();

    // The end of one post, which every wait of it respects.
    class Deadline;

private:
    enum class Exchange { Answered, Unauthorized };
    // One request and its answer; a first 401 that offers Basic is told rather than judged.
    Exchange exchange(const std::string& url, MultipartForm& body, std::string& answer);
    struct Target;
    Target prepare(const std::string& url);
    void closeConnection();
    void open(const Target& target, const Deadline& deadline);
    void openTunnel(const Target& target, const Deadline& deadline);
    void startTls(const std::string& host, const Deadline& deadline);
    void send(std::string_view bytes, const Deadline& deadline);
    void sendBody(MultipartForm& body, std::int64_t length, const Deadline& deadline);
    // Forms the empty proxy credential when a 407 offers Basic first.
    void noteProxyOffer(const HttpResponse& head);
    // Reads the body the status calls for; the protocol error to raise when it is a failure.
    std::optional<HttpStatusError> judge(HttpAnswerReader& reader, const HttpResponse& head,
                                         std::string& answer);
    // Closes the connection unless the answer lets it stay open and it still is.
    void settle(const HttpAnswerReader& reader, const HttpResponse& head);

    RequestOptions request_;
    std::string proxyServer_;
    int proxyPort_ = 0;
    std::chrono::milliseconds connectTimeout_ = defaultConnectTimeout;
    std::chrono::milliseconds readTimeout_ = defaultReadTimeout;
    std::chrono::milliseconds exchangeLimit_ = defaultExchangeLimit;

    // Guards the connection against interrupt() while it is replaced or closed.
    std::mutex connectionMutex_;
    std::atomic<bool> interrupted_{false};
    std::unique_ptr<Connection> connection_;
    bool requestSent_ = false;
    std::string lastProtocol_;
    std::string lastHost_;
    std::string lastPort_;
    // The scheme, host and port that the credential and the address's user and password go to.
    std::string credentialOrigin_;
    std::optional<std::string> credential_;
    std::optional<std::string> proxyCredential_;
    CookieJar cookies_;
};

} // namespace quorva
