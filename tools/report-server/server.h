#pragma once

#include "report-server/report_store.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorva::report {

// What one request may take of the server.
struct ServerLimits {
    // From the connection to the end of the request head.
    std::chrono::milliseconds head{10000};
    // The body, and the answer, may take this long plus one second per minimumRate bytes.
    std::chrono::milliseconds grace{10000};
    std::size_t minimumRate = 8 * 1024;
    std::size_t headBytes = 64 * 1024;
    // The body as received, whatever its transfer encoding; far above the 4096000-byte limit
    // that the desk announces.
    std::size_t bodyBytes = 16 * 1024 * 1024;
    // Requests served at once. A slow client holds one for its deadlines at most.
    std::size_t workers = 32;
};

// HTTPS: PEM files of the server's certificate (its authorities after it) and private key.
struct TlsIdentity {
    std::string certificate;
    std::string key;
};

// The certificate or key cannot be used.
class TlsSetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The listening socket cannot be made (port in use, unknown address...).
class BindError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The HTTP side of the report server:
//   POST <prefix>ReportSPL   multipart upload of a spool file; answers <idReport>N</idReport>,
//                            or a text containing "erreur" when the upload is refused
//   GET  <prefix>ReportPDF?rptSelect=idDocument=N&rptName=Facture
//                            the stored invoice as a PDF, 404 when there is no report N
// Every request is logged as one line: time (UTC), client address, method, target (control bytes
// and "%" as %XX), status, body bytes, report id or "-".
//
// One request per connection. Each request is held to its limits (ServerLimits): a slow or
// endless client loses its connection, and the pool has room for many of them beside the desks.
// With a TlsIdentity it speaks HTTPS only, TLS 1.2 or later; the TLS negotiation counts in the
// head's time. With a token, every request must carry "Authorization: Bearer <token>" or Basic
// credentials whose password is the token (any user, as a desk's address "user:token@" sends
// them once asked); any other gets 401 with a Basic offer, before its body is read.
class ReportServer {
public:
    // Throws TlsSetupError when the identity's files cannot be used.
    ReportServer(ReportStore& store, std::string prefix, std::ostream& log,
                 ServerLimits limits = {}, const std::optional<TlsIdentity>& tls = {},
                 std::string token = {});
    ~ReportServer();
    ReportServer(const ReportServer&) = delete;
    ReportServer& operator=(const ReportServer&) = delete;

    // Makes the listening socket; port 0 takes any free port. Returns the port. Throws
    // BindError with the system's reason.
    int bind(const std::string& address, int port);

    // Serves requests until stop(); false when serving ended by a failure.
    bool run();

    // Ends run() (also one that has not started yet) and returns once run() has returned and
    // the requests in progress are answered. Callable from any thread.
    void stop();

    // The bytes that answer `request`, served as if it came on a connection of its own.
    std::string answer(std::string_view request);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "http://ADDRESS:PORT<prefix>" ("https://" when `secure`), an IPv6 address in brackets.
std::string serverUrl(std::string_view address, int port, std::string_view prefix,
                      bool secure = false);

} // namespace quorva::report
