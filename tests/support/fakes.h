#pragma once

// In-memory stand-ins for the platform seams, for the native tests.

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/shell.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quorva::testkit {

// Safe to read from a sender thread while the test sets it. Time moved on with set() passes on
// both clocks; setWallClock() moves the wall clock alone, as a user does. The local time is UTC
// plus an offset, 0 until setUtcOffset() changes it as daylight saving does.
class ManualClock final : public Clock {
public:
    explicit ManualClock(DateTime start = {2026, 12, 7, 14, 5, 9, 42}) : now_(start) {}
    DateTime now() const override {
        const std::lock_guard lock(mutex_);
        return now_;
    }
    DateTime utcNow() const override {
        const std::lock_guard lock(mutex_);
        return shifted(now_, -offsetMinutes_);
    }
    DateTime toLocal(const DateTime& utc) const override {
        const std::lock_guard lock(mutex_);
        return shifted(utc, offsetMinutes_);
    }
    // The same moment read in a zone `minutes` ahead of UTC: the local time moves, UTC does not.
    void setUtcOffset(int minutes) {
        const std::lock_guard lock(mutex_);
        now_ = shifted(now_, minutes - offsetMinutes_);
        offsetMinutes_ = minutes;
    }
    std::chrono::milliseconds elapsed() const override {
        const std::lock_guard lock(mutex_);
        return elapsed_;
    }
    void set(const DateTime& value) {
        const std::lock_guard lock(mutex_);
        elapsed_ +=
            std::chrono::milliseconds(std::max<std::int64_t>(0, millisecondsBetween(now_, value)));
        now_ = value;
    }
    void setWallClock(const DateTime& value) {
        const std::lock_guard lock(mutex_);
        now_ = value;
    }

private:
    static DateTime shifted(const DateTime& value, int minutes) {
        const int total = value.hour * 60 + value.minute + minutes;
        const int days = total >= 0 ? total / 1440 : -((1439 - total) / 1440);
        DateTime result = addDays(value, days);
        result.hour = (total - days * 1440) / 60;
        result.minute = (total - days * 1440) % 60;
        return result;
    }

    mutable std::mutex mutex_;
    DateTime now_;
    std::chrono::milliseconds elapsed_{0};
    int offsetMinutes_ = 0;
};

// Keys are "root|path" with the path as given (leading backslash dropped); values by name.
class MemoryRegistry final : public Registry {
public:
    struct Key {
        std::map<std::string, RegistryValue> values;
        bool refuseWrites = false;
    };

    std::unique_ptr<RegistryKey> open(RegistryRoot root, const std::string& path,
                                      RegistryAccess access, bool create) const override;

    Key& key(RegistryRoot root, const std::string& path);
    bool hasKey(RegistryRoot root, const std::string& path) const;
    mutable int openCount = 0;

private:
    static std::string id(RegistryRoot root, const std::string& path);
    mutable std::map<std::string, Key> keys_;
};

class RecordingShell final : public Shell {
public:
    struct Call {
        std::string verb, file, parameters;
        int show;
    };
    void execute(const std::string& verb, const std::string& file, const std::string& parameters,
                 int show) override {
        calls.push_back({verb, file, parameters, show});
    }
    std::vector<Call> calls;
};

} // namespace quorva::testkit
