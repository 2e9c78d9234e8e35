#pragma once

#include "report-server/report_store.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorva::report {

// One part of a multipart/form-data body. A part with a file name is a file part.
struct FormPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string content;
};

// The text fields every desk upload carries, in the order it sends them.
inline constexpr std::array<std::string_view, 6> requiredFields{
    "XMLC_OutputFormat", "PrintDate", "Site", "JobID", "MAX_FILE_SIZE", "FileName"};

// The upload to store, or the reason (in French) for refusing it: a missing field, no file part
// or more than one, a MAX_FILE_SIZE that is not a number, or a file larger than it. Fields are
// kept in the required order, then the others in the parts' order; of a repeated field, the
// first counts.
std::variant<Upload, std::string> checkUpload(const std::vector<FormPart>& parts);

// The answers to an upload, XML in ISO-8859-1. The desk reads the number between the idReport
// tags and takes any answer containing "erreur" as a refusal.
std::string acceptedAnswer(std::uint64_t id);
std::string refusedAnswer(std::string_view reason);

} // namespace quorva::report
