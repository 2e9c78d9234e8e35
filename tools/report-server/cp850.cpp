#include "report-server/cp850.h"

namespace quorva::report {

void appendUtf8(std::string& out, char32_t codePoint) {
    const auto unit = [&out](char32_t bits) { out += static_cast<char>(bits); };
    if (codePoint < 0x80) {
        unit(codePoint);
    } else if (codePoint < 0x800) {
        unit(0xC0 | (codePoint >> 6));
        unit(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        unit(0xE0 | (codePoint >> 12));
        unit(0x80 | ((codePoint >> 6) & 0x3F));
        unit(0x80 | (codePoint & 0x3F));
    } else {
        unit(0xF0 | (codePoint >> 18));
        unit(0x80 | ((codePoint >> 12) & 0x3F));
        unit(0x80 | ((codePoint >> 6) & 0x3F));
        unit(0x80 | (codePoint & 0x3F));
    }
}

} // namespace quorva::report
