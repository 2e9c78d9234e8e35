#include "upload/report_upload.h"

#include "net/ascii.h"
#include "platform/date_format.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/percent_escape.h"
#include "upload/http_client.h"
#include "upload/multipart_form.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace quorva {

namespace {

constexpr std::size_t idReportWindow = 10000;
constexpr std::size_t maxReportIdLength = 64;

// Answers are searched like C strings: nothing after a zero byte counts.
std::string_view searchable(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// A CR or LF would go raw into the request head or the form and start lines of its own there.
void refuseControlCharacters(const std::string& setting, const char* what) {
    if (hasControlCharacter(setting))
        throw Error(std::string(what) +
                    " contient un retour à la ligne ou un autre caractère de contrôle, à corriger "
                    "dans les paramètres");
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string result;
    for (auto at = text.find(from); at != std::string_view::npos; at = text.find(from)) {
        result.append(text.substr(0, at)).append(to);
        text.remove_prefix(at + from.size());
    }
    return result.append(text);
}

bool isTokenCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

} // namespace

std::optional<std::string> reportIdProblem(std::string_view id) {
    if (id.size() > maxReportIdLength)
        return "plus de " + std::to_string(maxReportIdLength) + " caractères (« " +
               percentEscaped(id.substr(0, maxReportIdLength)) + "... »)";
    if (!std::all_of(id.begin(), id.end(), isTokenCharacter))
        return "« " + percentEscaped(id) +
               " » contient autre chose que des lettres, des chiffres, - et _";
    return std::nullopt;
}

std::string answerFilePath(std::int32_t jobNumber) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(jobNumber % 10000));
    return environmentVariable("TEMP").value_or("") + "\\XmlReportSPL-" + digits + ".xml";
}

std::string escapeAddress(std::string_view address) {
    return replaceAll(replaceAll(address, " ", "%20"), "#", "%23");
}

std::string findReportId(std::string_view answer) {
    static constexpr std::string_view open = "<idReport>";
    static constexpr std::string_view close = "</idReport>";
    const std::string_view text = searchable(answer);
    const auto start = text.find(open);
    if (start == std::string_view::npos)
        return {};
    const std::string_view after = text.substr(start + open.size(), idReportWindow);
    const auto end = after.find(close);
    if (end == std::string_view::npos)
        return {};
    return std::string(after.substr(0, end));
}

std::string printDateText(const DateTime& localLastWrite, const Locale& locale) {
    return formatDayMonthYear(localLastWrite, locale);
}

UploadRequest prepareUpload(const std::string& path, const std::string& fileName,
                            const std::string& siteName, std::int32_t jobNumber,
                            const DateTime& localLastWrite, const Locale& locale) {
    refuseControlCharacters(siteName, "Le nom du site");
    return {path, {}, fileName, printDateText(localLastWrite, locale), siteName, jobNumber};
}

ReportUpload::ReportUpload(HttpClient& http, const Files& files, const Clock& clock)
    : http_(http), files_(files), clock_(clock) {
}

UploadOutcome ReportUpload::send(const UploadRequest& request, const std::string& serverUrl) {
    refuseControlCharacters(serverUrl, "L'adresse du serveur");
    auto form = std::make_unique<MultipartForm>(clock_, files_);
    form->addText("XMLC_OutputFormat", "XML");
    form->addText("PrintDate", request.printDate);
    form->addText("Site", request.site);
    form->addText("JobID", std::to_string(request.jobNumber));
    form->addText("MAX_FILE_SIZE", "4096000");
    form->addText("FileName", request.fileName);
    form->addFile(request.fileName, request.spoolPath, "multipart/form-data",
                  request.readFrom.empty() ? request.spoolPath : request.readFrom);
    form->rewind();
    reportId_.clear();
    if (serverUrl.empty())
        return {UploadOutcome::Kind::Failed, {}, "pas d'adresse de serveur (NomURL)", false};
    return postForm(serverUrl + "ReportSPL", answerFilePath(request.jobNumber), std::move(form),
                    {});
}

UploadOutcome ReportUpload::postForm(const std::string& address, const std::string& answerFilePath,
                                     std::unique_ptr<MultipartForm> form, std::string answer) {
    try {
        http_.options().basicAuthentication = false;
        // The client takes the form's content type (with its boundary) for the request.
        http_.postMultipart(escapeAddress(address), *form, answer);
    } catch (const std::exception& e) {
        // Whatever went wrong on the way, the transfer failed.
        reportId_.clear();
        return {UploadOutcome::Kind::Failed, {}, e.what(), http_.requestSent()};
    }
    form.reset();
    return evaluate(answer, answerFilePath);
}

UploadOutcome ReportUpload::evaluate(const std::string& answer, const std::string& answerFilePath) {
    reportId_.clear();
    const std::string_view text = searchable(answer);
    if (text.find("erreur") != std::string_view::npos) {
        // Saved as received, but named in the character set the viewers know; only the part
        // before a zero byte is searched.
        files_.writeFile(answerFilePath,
                         replaceAll(text, "8859-15", "8859-1") + answer.substr(text.size()));
        return {UploadOutcome::Kind::Refused, {}, "le serveur a répondu par une erreur", false};
    }
    std::string id = findReportId(answer);
    if (id.empty())
        return {UploadOutcome::Kind::Refused, {}, "réponse sans identifiant de rapport", false};
    if (const auto problem = reportIdProblem(id))
        return {
            UploadOutcome::Kind::Refused, {}, "identifiant de rapport refusé : " + *problem, false};
    reportId_ = std::move(id);
    return {UploadOutcome::Kind::Sent, reportId_, {}, false};
}

} // namespace quorva
