#pragma once

// Sending a settled spool file to the report server and taking the report identifier from the
// answer.
//
// A job's request is fixed when the job is recorded (prepareUpload, on the window's thread). The
// upload, on the sender's thread only, builds the form (six text fields and the file), names the
// answer file and posts. A failed transfer becomes an error text and never an exception; an
// answer that contains "erreur" is saved to the answer file. Errors before the transfer (the file
// cannot be opened, its date cannot be read) and a failure to write the answer file propagate.

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorva {

class HttpClient;
class MultipartForm;

// One job's request, fixed when the job is counted: sending it again sends the same fields.
struct UploadRequest {
    std::string spoolPath; // the file part's name: where the spooler wrote the file
    std::string readFrom;  // where its bytes are read (the outbox copy); empty: `spoolPath`
    std::string fileName;  // without folder, in lower case
    std::string printDate; // the file's last-write date with the regional separator
    std::string site;
    std::int32_t jobNumber = 0;
};

// What became of one send.
struct UploadOutcome {
    enum class Kind {
        Sent,    // the answer held a report identifier
        Refused, // the answer said "erreur" (saved to the answer file), or held no identifier,
                 // or one that is not 1 to 64 letters, digits, "-" and "_"
        Failed,  // the transfer failed
    };
    Kind kind = Kind::Failed;
    std::string reportId;
    std::string reason; // why it was refused or failed
    // The request went out whole but its answer never came: the server may have the job.
    bool answerLost = false;
};

// The print date sent for a spool file last written at `localLastWrite` (the desk's local time).
std::string printDateText(const DateTime& localLastWrite, const Locale& locale);

// Fixes the request of job number `jobNumber`: the spool file at `path` (`fileName`: its name
// without folder, in lower case) last written at `localLastWrite`. A site name holding a control
// character (CR, LF...) is refused with an Error.
UploadRequest prepareUpload(const std::string& path, const std::string& fileName,
                            const std::string& siteName, std::int32_t jobNumber,
                            const DateTime& localLastWrite, const Locale& locale);

class ReportUpload {
public:
    ReportUpload(HttpClient& http, const Files& files, const Clock& clock);
    // Posts the request to `serverUrl` followed by "ReportSPL" and evaluates the answer. With an
    // empty server URL nothing is sent and the job fails. Errors in reading the file, and a server
    // URL holding a control character, propagate.
    UploadOutcome send(const UploadRequest& request, const std::string& serverUrl);
    // Posts the form to the address (spaces and "#" escaped) and evaluates the answer: sets the
    // report identifier, or writes an "erreur" answer to `answerFilePath`. Takes both streams
    // and releases them.
    UploadOutcome postForm(const std::string& address, const std::string& answerFilePath,
                           std::unique_ptr<MultipartForm> form, std::string answer);

    const std::string& reportId() const { return reportId_; }

private:
    UploadOutcome evaluate(const std::string& answer, const std::string& answerFilePath);

    HttpClient& http_;
    const Files& files_;
    const Clock& clock_;
    std::string reportId_;
};

// Why a non-empty report identifier cannot be kept, or nothing when it can. It goes into the grid,
// the store, the log and the PDF address: only a short plain token (1 to 64 letters, digits, "-"
// and "_") means the same in all of them.
std::optional<std::string> reportIdProblem(std::string_view id);

// The answer file of a job: TEMP, "\XmlReportSPL-", the job number modulo 10000 in four digits,
// ".xml".
std::string answerFilePath(std::int32_t jobNumber);

// Every space becomes "%20", then every "#" becomes "%23"; nothing else changes.
std::string escapeAddress(std::string_view address);

// The text between the first <idReport> and the first </idReport> within the 10000 characters
// after it; empty when either is missing. The search ends at the first zero byte.
std::string findReportId(std::string_view answer);

} // namespace quorva
