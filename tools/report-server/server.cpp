#include "report-server/server.h"

#include "report-server/page_layout.h"
#include "report-server/pdf_query.h"
#include "report-server/pdf_render.h"
#include "report-server/request_stream.h"
#include "report-server/text_util.h"
#include "report-server/upload_form.h"

#include <httplib.h>
#include <openssl/crypto.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <type_traits>
#include <variant>

namespace quorva::report {

namespace {

constexpr const char* xmlType = "text/xml; charset=ISO-8859-1";
constexpr const char* textType = "text/plain; charset=UTF-8";
constexpr const char* pdfType = "application/pdf";

// Carries the report number from the handler to the request log.
constexpr const char* idHeader = "X-Report-Id";

std::string regexEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

// SO_REUSEADDR only: the library's default also sets SO_REUSEPORT, which would let a second
// server take a port that is already in use.
void listeningSocketOptions(socket_t socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

std::string_view queryOf(const std::string& target) {
    const std::size_t mark = target.find('?');
    return mark == std::string::npos ? std::string_view()
                                     : std::string_view(target).substr(mark + 1);
}

std::string errorText(const httplib::Request& req, int status) {
    switch (status) {
    case 400:
        return "Requête invalide";
    case 404:
        return "Ressource introuvable : " + req.path;
    case 413:
        return "Requête trop volumineuse";
    default:
        return "Erreur HTTP " + std::to_string(status);
    }
}

// The current time for the log, "2026-12-08T14:23:21Z".
std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool isIdentity(std::string_view encoding) {
    const auto first = encoding.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return true;
    encoding = encoding.substr(first, encoding.find_last_not_of(" \t") - first + 1);
    return equalsNoCase(encoding, "identity");
}

// Whether `authorization` (an Authorization header's value) carries the token: "Bearer <token>",
// or "Basic" with any user and the token as password.
bool carriesToken(std::string_view authorization, std::string_view token) {
    const auto blank = authorization.find(' ');
    const auto start = authorization.find_first_not_of(' ', blank);
    if (start == std::string_view::npos)
        return false;
    const std::string_view scheme = authorization.substr(0, blank);
    const std::string_view value = authorization.substr(start);
    std::string secret;
    if (equalsNoCase(scheme, "Bearer")) {
        secret = value;
    } else if (equalsNoCase(scheme, "Basic")) {
        const auto decoded = base64Decoded(value);
        const auto colon = decoded ? decoded->find(':') : std::string::npos;
        if (colon == std::string::npos)
            return false;
        secret = decoded->substr(colon + 1);
    } else {
        return false;
    }
    // Compared in a time that does not tell how much of it matched.
    return secret.size() == token.size() &&
           CRYPTO_memcmp(secret.data(), token.data(), token.size()) == 0;
}

// The client of the connection the current worker serves: the log names it also for a request
// whose head never came whole.
thread_local std::string currentClient = "-";

class RequestServer {
public:
    virtual ~RequestServer() = default;
    // Serves the one request the stream holds.
    virtual void serve(RequestStream& stream) = 0;
};

struct SslDeleter {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// The library's server, plain or TLS, serving one request per connection through a
// RequestStream, which holds the TLS negotiation to the request's limits too.
template <typename Base> class BoundedServer final : public Base, public RequestServer {
public:
    explicit BoundedServer(const ServerLimits& limits) : limits_(limits) {}
    BoundedServer(const ServerLimits& limits, const TlsIdentity& tls)
        : Base(tls.certificate.c_str(), tls.key.c_str()), limits_(limits) {
        if (!this->is_valid())
            throw TlsSetupError("cannot use the certificate " + tls.certificate + " and key " +
                                tls.key);
        // Set here rather than left to the library's default, which has changed over versions.
        if (SSL_CTX_set_min_proto_version(this->ssl_context(), TLS1_2_VERSION) != 1)
            throw TlsSetupError("cannot require TLS 1.2");
    }

    void serve(RequestStream& stream) override {
        bool closed = false;
        this->process_request(stream, /*close_connection=*/true, closed, nullptr);
    }

private:
    bool process_and_close_socket(socket_t socket) override {
        if constexpr (std::is_same_v<Base, httplib::SSLServer>) {
            const std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(this->ssl_context()));
            if (ssl) {
                RequestStream stream(socket, ssl.get(), limits_);
                if (stream.negotiate())
                    serveConnection(stream);
            }
        } else {
            RequestStream stream(socket, limits_);
            serveConnection(stream);
        }
        closeAfterAnswer(socket);
        return true;
    }

    void serveConnection(RequestStream& stream) {
        int port = 0;
        stream.get_remote_ip_and_port(currentClient, port);
        serve(stream);
        stream.finish();
    }

    ServerLimits limits_;
};

std::unique_ptr<httplib::Server> boundedServer(const ServerLimits& limits,
                                               const std::optional<TlsIdentity>& tls) {
    if (tls)
        return std::make_unique<BoundedServer<httplib::SSLServer>>(limits, *tls);
    return std::make_unique<BoundedServer<httplib::Server>>(limits);
}

} // namespace

struct ReportServer::Impl {
    Impl(ReportStore& s, std::string p, std::ostream& l, const ServerLimits& lim,
         const std::optional<TlsIdentity>& tls, std::string t)
        : store(s), prefix(std::move(p)), log(l), limits(lim), token(std::move(t)),
          server(boundedServer(lim, tls)), http(*server),
          requests(dynamic_cast<RequestServer&>(http)) {}

    void upload(const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader& reader);
    void pdf(const httplib::Request& req, httplib::Response& res);
    void logRequest(const httplib::Request& req, const httplib::Response& res);

    ReportStore& store;
    std::string prefix;
    std::ostream& log;
    std::mutex logMutex;
    ServerLimits limits;
    std::string token;
    std::unique_ptr<httplib::Server> server;
    httplib::Server& http;
    RequestServer& requests;

    std::mutex runMutex;
    std::condition_variable runEnded;
    bool stopRequested = false;
    bool inRun = false;
};

void ReportServer::Impl::upload(const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& reader) {
    const auto refuse = [&res](std::string_view reason) {
        res.set_content(refusedAnswer(reason), xmlType);
    };
    if (!req.is_multipart_form_data())
        return refuse("Formulaire multipart/form-data attendu");
    // The parts as they arrive, counted so that no encoding of the body can pass the limit.
    std::vector<FormPart> parts;
    std::size_t received = 0;
    const auto take = [&](std::size_t bytes) {
        received += bytes;
        return received <= limits.bodyBytes;
    };
    const bool whole = reader(
        [&](const httplib::MultipartFormData& header) {
            parts.push_back({header.name, header.filename, header.content_type, {}});
            return take(header.name.size() + header.filename.size() + header.content_type.size());
        },
        [&](const char* data, std::size_t length) {
            if (parts.empty() || !take(length))
                return false;
            parts.back().content.append(data, length);
            return true;
        });
    if (received > limits.bodyBytes) {
        res.status = 413;
        return refuse("Requête trop volumineuse : plus de " + std::to_string(limits.bodyBytes) +
                      " octets");
    }
    if (!whole) {
        res.status = 400;
        return refuse("Requête incomplète ou mal formée");
    }
    const auto checked = checkUpload(parts);
    if (const auto* reason = std::get_if<std::string>(&checked))
        return refuse(*reason);
    std::uint64_t id = 0;
    try {
        id = store.add(std::get<Upload>(checked));
    } catch (const std::exception& e) {
        std::cerr << "quorva-report-server: " << e.what() << std::endl;
        return refuse("Enregistrement du rapport impossible");
    }
    res.set_header(idHeader, std::to_string(id));
    res.set_content(acceptedAnswer(id), xmlType);
}

void ReportServer::Impl::pdf(const httplib::Request& req, httplib::Response& res) {
    const auto notFound = [&res](const std::string& text) {
        res.status = 404;
        res.set_content(text, textType);
    };
    const auto parsed = parsePdfQuery(queryOf(req.target));
    if (const auto* reason = std::get_if<std::string>(&parsed))
        return notFound(*reason);
    const std::string id = std::to_string(std::get<std::uint64_t>(parsed));
    res.set_header(idHeader, id);
    const auto content = store.content(std::get<std::uint64_t>(parsed));
    if (!content)
        return notFound("Rapport introuvable : " + id);
    res.set_header("Content-Disposition", "inline; filename=\"Facture-" + id + ".pdf\"");
    res.set_content(renderPdf(layoutPages(*content), "Facture " + id), pdfType);
}

void ReportServer::Impl::logRequest(const httplib::Request& req, const httplib::Response& res) {
    const std::string id = res.has_header(idHeader) ? res.get_header_value(idHeader) : "-";
    const auto orDash = [](const std::string& text) {
        return text.empty() ? std::string("-") : percentEscaped(text);
    };
    const std::string client = req.remote_addr.empty() ? currentClient : req.remote_addr;
    std::lock_guard lock(logMutex);
    log << utcNow() << ' ' << client << ' ' << orDash(req.method) << ' ' << orDash(req.target)
        << ' ' << res.status << ' ' << res.body.size() << ' ' << id << std::endl;
}

ReportServer::ReportServer(ReportStore& store, std::string prefix, std::ostream& log,
                           ServerLimits limits, const std::optional<TlsIdentity>& tls,
                           std::string token)
    : impl_(std::make_unique<Impl>(store, std::move(prefix), log, limits, tls, std::move(token))) {
    Impl& impl = *impl_;
    const std::string route = regexEscape(impl.prefix);
    impl.http.Post(route + "ReportSPL", [&impl](const httplib::Request& req, httplib::Response& res,
                                                const httplib::ContentReader& reader) {
        impl.upload(req, res, reader);
    });
    // The desk sends its body as it is: an encoded one is refused before a byte of it is read,
    // so that a small packed body cannot unpack into a flood.
    impl.http.set_pre_routing_handler([&impl](const httplib::Request& req, httplib::Response& res) {
        if (!impl.token.empty() &&
            !carriesToken(req.get_header_value("Authorization"), impl.token)) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"quorva-report-server\"");
            res.set_content("Authentification requise", textType);
            return httplib::Server::HandlerResponse::Handled;
        }
        const std::string encoding = req.get_header_value("Content-Encoding");
        if (isIdentity(encoding))
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 415;
        res.set_content(refusedAnswer("Encodage du contenu refusé : " + abbreviated(encoding)),
                        xmlType);
        return httplib::Server::HandlerResponse::Handled;
    });
    impl.http.Get(route + "ReportPDF", [&impl](const httplib::Request& req,
                                               httplib::Response& res) { impl.pdf(req, res); });
    impl.http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(errorText(req, res.status), textType);
    });
    impl.http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                std::cerr << "quorva-report-server: " << e.what() << std::endl;
            }
            res.status = 500;
            res.set_content("Erreur interne du serveur", textType);
        });
    impl.http.set_logger([&impl](const httplib::Request& req, const httplib::Response& res) {
        impl.logRequest(req, res);
    });
    impl.http.set_socket_options(listeningSocketOptions);
    impl.http.set_payload_max_length(limits.bodyBytes);
    impl.http.new_task_queue = [workers = limits.workers] {
        return new httplib::ThreadPool(workers);
    };
}

ReportServer::~ReportServer() {
    stop();
}

int ReportServer::bind(const std::string& address, int port) {
    errno = 0;
    const int bound = port == 0 ? impl_->http.bind_to_any_port(address)
                                : (impl_->http.bind_to_port(address, port) ? port : -1);
    if (bound < 0)
        throw BindError(errno != 0 ? std::strerror(errno) : "cannot make a listening socket");
    return bound;
}

bool ReportServer::run() {
    {
        std::lock_guard lock(impl_->runMutex);
        if (impl_->stopRequested)
            return true;
        impl_->inRun = true;
    }
    const bool served = impl_->http.listen_after_bind();
    {
        std::lock_guard lock(impl_->runMutex);
        impl_->inRun = false;
    }
    impl_->runEnded.notify_all();
    return served;
}

void ReportServer::stop() {
    std::unique_lock lock(impl_->runMutex);
    impl_->stopRequested = true;
    // The library ignores a stop until its accept loop runs, so a stop that comes right after
    // run() started is repeated until it takes.
    while (impl_->inRun) {
        impl_->http.stop();
        impl_->runEnded.wait_for(lock, std::chrono::milliseconds(10));
    }
}

std::string ReportServer::answer(std::string_view request) {
    RequestStream stream(request, impl_->limits);
    currentClient = "-";
    impl_->requests.serve(stream);
    return stream.written();
}

std::string serverUrl(std::string_view address, int port, std::string_view prefix, bool secure) {
    const bool ipv6 = address.find(':') != std::string_view::npos;
    std::string url = secure ? "https://" : "http://";
    url += ipv6 ? "[" + std::string(address) + "]" : std::string(address);
    return url + ":" + std::to_string(port) + std::string(prefix);
}

} // namespace quorva::report
