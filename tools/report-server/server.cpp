#include "report-server/server.h"

#include "report-server/page_layout.h"
#include "report-server/pdf_query.h"
#include "report-server/pdf_render.h"
#include "report-server/upload_form.h"

#include <httplib.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>
#include <variant>

namespace quorva::report {

namespace {

constexpr const char* xmlType = "text/xml; charset=ISO-8859-1";
constexpr const char* textType = "text/plain; charset=UTF-8";
constexpr const char* pdfType = "application/pdf";

// Carries the report number from the handler to the request log.
constexpr const char* idHeader = "X-Report-Id";

// Far above the 4096000-byte limit that the desk announces, low enough to refuse a flood.
constexpr std::size_t maxRequestBytes = 16 * 1024 * 1024;

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

} // namespace

struct ReportServer::Impl {
    Impl(ReportStore& s, std::string p, std::ostream& l) : store(s), prefix(std::move(p)), log(l) {}

    void upload(const httplib::Request& req, httplib::Response& res);
    void pdf(const httplib::Request& req, httplib::Response& res);
    void logRequest(const httplib::Request& req, const httplib::Response& res);

    ReportStore& store;
    std::string prefix;
    std::ostream& log;
    std::mutex logMutex;
    httplib::Server http;

    std::mutex runMutex;
    std::condition_variable runEnded;
    bool stopRequested = false;
    bool inRun = false;
};

void ReportServer::Impl::upload(const httplib::Request& req, httplib::Response& res) {
    const auto refuse = [&res](std::string_view reason) {
        res.set_content(refusedAnswer(reason), xmlType);
    };
    if (!req.is_multipart_form_data())
        return refuse("Formulaire multipart/form-data attendu");
    std::vector<FormPart> parts;
    for (const auto& [name, part] : req.files)
        parts.push_back({part.name, part.filename, part.content_type, part.content});
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
    std::lock_guard lock(logMutex);
    log << req.method << ' ' << req.target << ' ' << res.status << ' ' << res.body.size() << ' '
        << id << std::endl;
}

ReportServer::ReportServer(ReportStore& store, std::string prefix, std::ostream& log)
    : impl_(std::make_unique<Impl>(store, std::move(prefix), log)) {
    Impl& impl = *impl_;
    const std::string route = regexEscape(impl.prefix);
    impl.http.Post(route + "ReportSPL", [&impl](const httplib::Request& req,
                                                httplib::Response& res) { impl.upload(req, res); });
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
    impl.http.set_payload_max_length(maxRequestBytes);
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

std::string serverUrl(std::string_view address, int port, std::string_view prefix) {
    const bool ipv6 = address.find(':') != std::string_view::npos;
    std::string url = "http://";
    url += ipv6 ? "[" + std::string(address) + "]" : std::string(address);
    return url + ":" + std::to_string(port) + std::string(prefix);
}

} // namespace quorva::report
