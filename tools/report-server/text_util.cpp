#include "report-server/text_util.h"

#include <charconv>

namespace quorva::report {

namespace {

constexpr std::size_t quotedLength = 40;

} // namespace

std::optional<std::uint64_t> parseDecimal(std::string_view text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string abbreviated(std::string_view value) {
    if (value.size() <= quotedLength)
        return std::string(value);
    return std::string(value.substr(0, quotedLength)) + "...";
}

} // namespace quorva::report
