#pragma once

#include <string>
#include <string_view>

namespace quorva {

// The user's regional settings and the ANSI code page: the one place where 8-bit text meets
// UTF-16 and where dates take their formats.
class Locale {
public:
    virtual ~Locale() = default;
    // Windows date/time pictures ("dd/MM/yyyy", "HH:mm:ss"): d, M, y, H, h, m, s and t letters,
    // text in single quotes, every other character literal.
    virtual std::string shortDateFormat() const = 0;
    virtual std::string dateSeparator() const = 0;
    virtual std::string longTimeFormat() const = 0;
    virtual std::string timeSeparator() const = 0;
    // Lower-casing with the ANSI code page's rules; the length never changes.
    virtual std::string lowerAnsi(std::string_view text) const = 0;
    virtual std::wstring ansiToWide(std::string_view text) const = 0;
    virtual std::string wideToAnsi(std::wstring_view text) const = 0;
    // Text in the DOS (OEM) code page, in which the invoices are printed.
    virtual std::wstring oemToWide(std::string_view text) const = 0;
    // Lower-casing with the user's rules; the length never changes.
    virtual std::wstring lowerWide(std::wstring_view text) const = 0;
};

// Regional settings given as values, with the Windows-1252 code page and, for the invoices, the
// French desk's OEM code page 850: the native build's locale and the tests'.
class FixedLocale final : public Locale {
public:
    FixedLocale(std::string shortDate = "dd/MM/yyyy", std::string dateSep = "/",
                std::string longTime = "HH:mm:ss", std::string timeSep = ":");

    std::string shortDateFormat() const override { return shortDate_; }
    std::string dateSeparator() const override { return dateSep_; }
    std::string longTimeFormat() const override { return longTime_; }
    std::string timeSeparator() const override { return timeSep_; }
    std::string lowerAnsi(std::string_view text) const override;
    std::wstring ansiToWide(std::string_view text) const override;
    std::string wideToAnsi(std::wstring_view text) const override;
    std::wstring oemToWide(std::string_view text) const override;
    std::wstring lowerWide(std::wstring_view text) const override;

private:
    std::string shortDate_;
    std::string dateSep_;
    std::string longTime_;
    std::string timeSep_;
};

#ifdef _WIN32
// The user's settings as the system reports them at each call (GetLocaleInfo, CP_ACP, CP_OEMCP).
class SystemLocale final : public Locale {
public:
    std::string shortDateFormat() const override;
    std::string dateSeparator() const override;
    std::string longTimeFormat() const override;
    std::string timeSeparator() const override;
    std::string lowerAnsi(std::string_view text) const override;
    std::wstring ansiToWide(std::string_view text) const override;
    std::string wideToAnsi(std::wstring_view text) const override;
    std::wstring oemToWide(std::string_view text) const override;
    std::wstring lowerWide(std::wstring_view text) const override;
};
#endif

} // namespace quorva
