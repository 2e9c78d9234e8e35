#include "platform/locale.h"

#include "platform/cp850.h"

#include <utility>

namespace quorva {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five unassigned bytes, which map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

wchar_t toWide(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0 && kCp1252High[byte - 0x80] != 0)
        return static_cast<wchar_t>(kCp1252High[byte - 0x80]);
    return static_cast<wchar_t>(byte);
}

char toAnsi(wchar_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<char>(ch);
    for (int i = 0; i < 32; ++i) {
        const char16_t mapped =
            kCp1252High[i] != 0 ? kCp1252High[i] : static_cast<char16_t>(0x80 + i);
        if (mapped == ch)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

char lowerAnsiByte(unsigned char byte) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7))
        return static_cast<char>(byte + 0x20);
    if (byte == 0x8A || byte == 0x8C || byte == 0x8E)
        return static_cast<char>(byte + 0x10);
    if (byte == 0x9F)
        return static_cast<char>(0xFF);
    return static_cast<char>(byte);
}

} // namespace

FixedLocale::FixedLocale(std::string shortDate, std::string dateSep, std::string longTime,
                         std::string timeSep)
    : shortDate_(std::move(shortDate)), dateSep_(std::move(dateSep)),
      longTime_(std::move(longTime)), timeSep_(std::move(timeSep)) {
}

std::string FixedLocale::lowerAnsi(std::string_view text) const {
    std::string result(text);
    for (char& c : result)
        c = lowerAnsiByte(static_cast<unsigned char>(c));
    return result;
}

std::wstring FixedLocale::ansiToWide(std::string_view text) const {
    std::wstring result;
    result.reserve(text.size());
    for (char c : text)
        result.push_back(toWide(static_cast<unsigned char>(c)));
    return result;
}

std::string FixedLocale::wideToAnsi(std::wstring_view text) const {
    std::string result;
    result.reserve(text.size());
    for (wchar_t c : text)
        result.push_back(toAnsi(c));
    return result;
}

std::wstring FixedLocale::oemToWide(std::string_view text) const {
    std::wstring result;
    result.reserve(text.size());
    for (char c : text)
        result.push_back(static_cast<wchar_t>(cp850ToUnicode(static_cast<unsigned char>(c))));
    return result;
}

// The Windows-1252 letters follow its rules; every other character stays as it is.
std::wstring FixedLocale::lowerWide(std::wstring_view text) const {
    std::wstring result(text);
    for (wchar_t& c : result) {
        const char ansi = toAnsi(c);
        if (toWide(static_cast<unsigned char>(ansi)) == c)
            c = toWide(static_cast<unsigned char>(lowerAnsiByte(static_cast<unsigned char>(ansi))));
    }
    return result;
}

} // namespace quorva
