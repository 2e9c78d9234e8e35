#pragma once

#include "report-server/report_store.h"

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorva::report {

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
// Every request is logged as one line: method, target, status, body bytes, report id or "-".
class ReportServer {
public:
    ReportServer(ReportStore& store, std::string prefix, std::ostream& log);
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

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "http://ADDRESS:PORT<prefix>", an IPv6 address in brackets.
std::string serverUrl(std::string_view address, int port, std::string_view prefix);

} // namespace quorva::report
