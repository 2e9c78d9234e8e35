#include "report-server/pdf_query.h"

#include "report-server/report_store.h"
#include "report-server/text_util.h"

#include <optional>

namespace quorva::report {

namespace {

constexpr std::string_view selectPrefix = "idDocument=";
constexpr std::string_view invoiceReport = "Facture";

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Decodes %XX escapes; a '%' not followed by two hex digits stays as it is.
std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexDigit(text[i + 1]);
            const int low = hexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The decoded value of the first parameter with this name; each parameter is split at its
// first '=' only.
std::optional<std::string> parameter(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (percentDecode(pair.substr(0, eq)) == name)
            return eq == std::string_view::npos ? std::string()
                                                : percentDecode(pair.substr(eq + 1));
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    }
    return std::nullopt;
}

} // namespace

std::variant<std::uint64_t, std::string> parsePdfQuery(std::string_view query) {
    const auto name = parameter(query, "rptName");
    if (!name)
        return std::string("Paramètre rptName manquant");
    if (*name != invoiceReport)
        return "Modèle de rapport inconnu : " + abbreviated(*name);
    const auto select = parameter(query, "rptSelect");
    if (!select)
        return std::string("Paramètre rptSelect manquant");
    if (!select->starts_with(selectPrefix))
        return "Sélection de rapport invalide : " + abbreviated(*select);
    const std::string_view number = std::string_view(*select).substr(selectPrefix.size());
    const auto id = parseReportId(number);
    if (!id)
        return "Numéro de rapport invalide : " + abbreviated(number);
    return *id;
}

} // namespace quorva::report
