#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace quorva::report {

// The report number asked for by the query of a PDF address,
// "rptSelect=idDocument=N&rptName=Facture" (the inner '=' comes unescaped), or the reason (in
// French) why the query names no report: N must be a decimal number without sign or leading
// zero, and rptName must be Facture.
std::variant<std::uint64_t, std::string> parsePdfQuery(std::string_view query);

} // namespace quorva::report
