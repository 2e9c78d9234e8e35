#include "platform/locale.h"

#include <windows.h>

namespace quorva {

namespace {

std::string localeInfo(LCTYPE type) {
    char buffer[128] = {};
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer) : std::string();
}

std::wstring toWide(UINT codePage, std::string_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring result(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, result.data(), n);
    return result;
}

} // namespace

std::string SystemLocale::shortDateFormat() const {
    return localeInfo(LOCALE_SSHORTDATE);
}
std::string SystemLocale::dateSeparator() const {
    return localeInfo(LOCALE_SDATE);
}
std::string SystemLocale::longTimeFormat() const {
    return localeInfo(LOCALE_STIMEFORMAT);
}
std::string SystemLocale::timeSeparator() const {
    return localeInfo(LOCALE_STIME);
}

std::string SystemLocale::lowerAnsi(std::string_view text) const {
    std::string result(text);
    if (!result.empty())
        CharLowerBuffA(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

std::wstring SystemLocale::ansiToWide(std::string_view text) const {
    return toWide(CP_ACP, text);
}

std::wstring SystemLocale::oemToWide(std::string_view text) const {
    return toWide(CP_OEMCP, text);
}

std::wstring SystemLocale::lowerWide(std::wstring_view text) const {
    std::wstring result(text);
    if (!result.empty())
        CharLowerBuffW(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

std::string SystemLocale::wideToAnsi(std::wstring_view text) const {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, result.data(), n, nullptr, nullptr);
    return result;
}

} // namespace quorva
