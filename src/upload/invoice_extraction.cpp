#include "upload/invoice_extraction.h"

#include <array>
#include <cstring>

namespace quorva {

namespace {

constexpr std::string_view kCrLf = "\r\n";
// A line that begins with 30 spaces, after a line end: the name line.
constexpr std::string_view kNameLineStart = "\r\n                              ";
constexpr std::string_view kContinuationStart = "        ";
// " N" and the degree sign of the DOS code pages: the document number marker.
constexpr std::string_view kNumberMarker = " N\xF8";
// Lines from the document line (included) to the record line (excluded).
constexpr int kLinesBeforeRecord = 5;

constexpr std::size_t kNameTaken = 1000;
constexpr std::size_t kDocumentTaken = 18;

struct NamePrefix {
    std::string_view prefix;
    std::string_view replacement;
};
// Applied in this order, each to the result of the one before.
constexpr std::array<NamePrefix, 3> kNamePrefixes{{
    {"MR ", "M "},
    {"MME ", "Mme "},
    {"STE ", ""},
}};

// Columns of the record line, 0-based, and their widths.
constexpr std::size_t kChassisColumn = 19;
constexpr std::size_t kChassisWidth = 17;
constexpr std::size_t kRegistrationColumn = 65;
constexpr std::size_t kRegistrationWidth = 10;

// Up to `count` characters from `pos`; fewer or none past the end.
std::string_view mid(std::string_view text, std::size_t pos, std::size_t count) {
    return pos >= text.size() ? std::string_view() : text.substr(pos, count);
}

// Without the bytes 0 to 32 at both ends.
std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Walks the text from its start; searches never see past the first zero byte.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    // Moves to the first `pattern`; false when there is none before a zero byte.
    bool moveTo(std::string_view pattern) {
        const std::size_t at = find(pattern);
        if (at == std::string_view::npos)
            return false;
        pos_ = at;
        return true;
    }
    void skip(std::size_t count) { pos_ += count; }
    // The line at the reader, without its CR LF, and moves past it; nothing without a CR LF.
    std::optional<std::string_view> takeLine() {
        const std::size_t at = find(kCrLf);
        if (at == std::string_view::npos)
            return std::nullopt;
        const std::string_view line = text_.substr(pos_, at - pos_);
        pos_ = at + kCrLf.size();
        return line;
    }
    bool startsWith(std::string_view prefix) const {
        return text_.substr(pos_).starts_with(prefix);
    }

private:
    // The first `pattern` at or after the reader, npos when there is none or a zero byte comes
    // first.
    std::size_t find(std::string_view pattern) const {
        const std::size_t at = text_.find(pattern, pos_);
        if (at == std::string_view::npos ||
            std::memchr(text_.data() + pos_, 0, at - pos_) != nullptr)
            return std::string_view::npos;
        return at;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string normalisedName(std::string_view trimmed) {
    std::string name(trimmed);
    for (const NamePrefix& p : kNamePrefixes) {
        if (name.starts_with(p.prefix))
            name = std::string(p.replacement) + name.substr(p.prefix.size(), kNameTaken);
    }
    return name;
}

std::optional<std::wstring> documentNumber(std::string_view line, const Locale& locale) {
    const std::size_t marker = line.find(kNumberMarker);
    if (marker == std::string_view::npos)
        return std::nullopt;
    // The character behind the degree sign is a separator and is skipped, whatever it is.
    const std::size_t number = marker + kNumberMarker.size() + 1;
    return locale.oemToWide(line.substr(0, 2)) +
           locale.lowerWide(locale.oemToWide(mid(line, number, kDocumentTaken)));
}

} // namespace

std::optional<InvoiceFields> extractInvoice(std::string_view text, const Locale& locale) {
    Reader reader(text);
    if (!reader.moveTo(kNameLineStart))
        return std::nullopt;
    // The name line begins with its 30 spaces; trimming drops them.
    reader.skip(kCrLf.size());
    const auto nameLine = reader.takeLine();
    if (!nameLine)
        return std::nullopt;
    while (reader.startsWith(kContinuationStart)) {
        if (!reader.takeLine())
            return std::nullopt;
    }
    const auto documentLine = reader.takeLine();
    if (!documentLine)
        return std::nullopt;
    for (int i = 1; i < kLinesBeforeRecord; ++i) {
        if (!reader.takeLine())
            return std::nullopt;
    }
    const auto recordLine = reader.takeLine();
    if (!recordLine)
        return std::nullopt;

    InvoiceFields fields;
    fields.name = locale.oemToWide(normalisedName(trim(*nameLine)));
    fields.registration =
        locale.oemToWide(trim(mid(*recordLine, kRegistrationColumn, kRegistrationWidth)));
    fields.chassis = locale.oemToWide(trim(mid(*recordLine, kChassisColumn, kChassisWidth)));
    fields.document = documentNumber(trim(*documentLine), locale);
    return fields;
}

bool extractIntoJob(Job& job, std::string_view text, const Locale& locale) {
    const auto fields = extractInvoice(text, locale);
    if (!fields)
        return false;
    job.customer = fields->name;
    job.registration = fields->registration;
    job.chassis = fields->chassis;
    if (fields->document)
        job.document = *fields->document;
    return true;
}

} // namespace quorva
