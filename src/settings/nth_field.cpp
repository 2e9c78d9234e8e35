#include "settings/nth_field.h"

namespace quorva {

std::string nthField(const std::string& text, int n) {
    std::string field;
    if (n < 1)
        return field;
    // Each ";" passed moves one field on; only the characters of field n are kept.
    for (const char c : text) {
        if (c == ';') {
            if (--n < 1)
                break;
        } else if (n == 1) {
            field += c;
        }
    }
    return field;
}

} // namespace quorva
