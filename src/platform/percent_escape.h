#pragma once

// Bytes written as %XX (upper-case hex), for text that must not change the meaning of the line,
// address or command line it goes into. All header: the report server shares it without taking
// the desk's library.

#include <string>
#include <string_view>

namespace quorva {

inline bool isControlByte(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// `text` with each byte for which `mustEscape(unsigned char)` holds written as %XX.
template <typename Predicate>
std::string percentEscaped(std::string_view text, Predicate mustEscape) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (mustEscape(byte)) {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

// Each control byte (below 0x20, 0x7F) and "%" as %XX: the text stays on its line wherever it is
// written, and an escape in it reads back as the byte it stands for.
inline std::string percentEscaped(std::string_view text) {
    return percentEscaped(text,
                          [](unsigned char byte) { return isControlByte(byte) || byte == '%'; });
}

} // namespace quorva
