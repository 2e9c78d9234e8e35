#pragma once

// For the native tests: the process's local time zone, as the POSIX file times and SQLite's
// 'localtime' and 'utc' read it, set for a test and given back after it.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace quorva::testkit {

class ScopedTimeZone {
public:
    // `zone` as TZ takes it, "QRV-1" for one hour ahead of UTC.
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        set(zone);
    }
    ~ScopedTimeZone() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    void set(const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

} // namespace quorva::testkit
