#include "upload/report_upload.h"

#include "net/ascii.h"
#include "platform/date_format.h"
#include "platform/env.h"
#include "platform/error.h"
#include "upload/http_client.h"
#include "upload/multipart_form.h"

#include <cstdio>

namespace quorva {

namespace {

const char* const transferFailureText = " - Erreur de transfert sur le serveur ";
constexpr std::size_t idReportWindow = 10000;

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

} // namespace

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

ReportUpload::ReportUpload(HttpClient& http, const Files& files, const Clock& clock,
                           const Locale& locale)
    : http_(http), files_(files), clock_(clock), locale_(locale) {
}

std::string ReportUpload::upload(const std::string& path, const std::string& fileName,
                                 const std::string& serverUrl, const std::string& siteName) {
    ++jobCounter_;
    refuseControlCharacters(siteName, "Le nom du site");
    refuseControlCharacters(serverUrl, "L'adresse du serveur");
    auto form = std::make_unique<MultipartForm>(clock_, files_);
    std::string answer;
    form->addText("XMLC_OutputFormat", "XML");
    form->addText("PrintDate", formatDayMonthYear(files_.lastWriteLocal(path), locale_));
    form->addText("Site", siteName);
    form->addText("JobID", std::to_string(jobCounter_));
    form->addText("MAX_FILE_SIZE", "4096000");
    form->addText("FileName", fileName);
    form->addFile(fileName, path, "multipart/form-data");
    form->rewind();
    const std::string answerFile = answerFilePath(jobCounter_);
    if (serverUrl.empty())
        return {};
    postForm(serverUrl + "ReportSPL", answerFile, std::move(form), std::move(answer));
    return reportId_;
}

void ReportUpload::postForm(const std::string& address, const std::string& answerFilePath,
                            std::unique_ptr<MultipartForm> form, std::string answer) {
    std::string text;
    try {
        http_.options().basicAuthentication = false;
        // The client takes the form's content type (with its boundary) for the request.
        http_.postMultipart(escapeAddress(address), *form, answer);
        text = std::move(answer);
    } catch (...) {
        // Whatever went wrong on the way, the transfer failed; the answer says so.
        text = transferFailureText;
    }
    form.reset();
    evaluate(text, answerFilePath);
}

void ReportUpload::evaluate(const std::string& answer, const std::string& answerFilePath) {
    reportId_.clear();
    const std::string_view text = searchable(answer);
    if (text.find("erreur") != std::string_view::npos) {
        // Saved as received, but named in the character set the viewers know; only the part
        // before a zero byte is searched.
        files_.writeFile(answerFilePath,
                         replaceAll(text, "8859-15", "8859-1") + answer.substr(text.size()));
        return;
    }
    reportId_ = findReportId(answer);
}

} // namespace quorva
