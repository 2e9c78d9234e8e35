#include "card/invoice_pdf.h"

#include "net/ascii.h"
#include "net/url.h"
#include "platform/error.h"
#include "platform/percent_escape.h"

namespace quorva {

namespace {

constexpr int kShowNormal = 5; // SW_SHOW

// The default value of the command key: empty when the key or the value is missing or empty.
std::string browserCommand(const Registry& registry) {
    const auto key = registry.open(RegistryRoot::ClassesRoot, "\\htmlfile\\shell\\open\\command",
                                   RegistryAccess::QueryValue, false);
    if (!key)
        return {};
    const auto value = key->read("");
    if (!value || value->empty)
        return {};
    if (value->type != RegistryType::String && value->type != RegistryType::ExpandString)
        throw registryWrongType("");
    return value->text;
}

// RFC 3986's unreserved characters: the only ones that mean the same anywhere in a query.
bool isUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

} // namespace

std::string pdfAddress(const std::string& serverUrl, const std::string& reportId) {
    // The identifier comes from the server: unencoded, an "&" or "#" in it would rewrite the
    // query.
    return serverUrl + "ReportPDF?rptSelect=idDocument=" +
           percentEscaped(reportId, [](unsigned char byte) { return !isUnreserved(byte); }) +
           "&rptName=Facture";
}

std::string browserProgram(std::string_view command) {
    const size_t open = command.find('"');
    if (open == std::string_view::npos)
        return {};
    const size_t close = command.find('"', open + 1);
    if (close == std::string_view::npos)
        return {};
    return std::string(command.substr(open + 1, close - open - 1));
}

std::string quotedArgument(std::string_view text) {
    // The report identifier comes from the server: without the quotes and the escaping, a quote
    // in it would end the argument and let the server add its own options to the browser's
    // command line.
    std::string out = "\"" + percentEscaped(text, [](unsigned char byte) {
                          return byte == '"' || isControlByte(byte);
                      });
    // Backslashes are literal except in front of a quote, where a run of 2n stands for n.
    const size_t lastOther = out.find_last_not_of('\\');
    out.append(out.size() - lastOther - 1, '\\');
    out += '"';
    return out;
}

bool openUrlInBrowser(const std::string& url, const Registry& registry, Shell& shell) {
    // Only a web address goes to the browser: an address starting with "-" would reach it as an
    // option of its command line, quotes or not.
    const std::string scheme = lowerAscii(std::string_view(url).substr(0, url.find("://") + 3));
    if (scheme != "http://" && scheme != "https://")
        throw Error("Adresse du PDF refusée : elle doit commencer par http:// ou https:// (" +
                    withoutCredentials(url) + ")");
    const std::string program = browserProgram(browserCommand(registry));
    // A command without a quoted program leaves nothing to start; the shell is not asked to run
    // an empty file name.
    if (program.empty())
        return false;
    shell.execute("open", program, quotedArgument(url), kShowNormal);
    return true;
}

void openInvoicePdf(const std::string& serverUrl, const std::string& reportId,
                    const Registry& registry, Shell& shell) {
    if (serverUrl.empty())
        return;
    openUrlInBrowser(pdfAddress(serverUrl, reportId), registry, shell);
}

} // namespace quorva
