#pragma once

// The log for whoever supports the desk: one file a day, "quorva-YYYY-MM-DD.log", with every
// event-list line, each job's state change and each failure's reason, kept for 30 days. Writing
// to it never stops the desk: a line that cannot be written is lost, nothing else.

#include "platform/clock.h"
#include "platform/files.h"

#include <mutex>
#include <string>

namespace quorva {

class DailyLog {
public:
    static constexpr int kKeptDays = 30;

    DailyLog(const Files& files, const Clock& clock);

    // Logs go to this folder from now on (created when missing); none until it is set.
    void open(const std::string& folder);
    // Appends "HH:MM:SS line" to today's file, the line's control bytes and "%" written as %XX:
    // a text from the server (a report id, a reason) cannot start lines of its own.
    void write(const std::string& line);
    // Deletes the files of days more than kKeptDays before today.
    void prune();

private:
    const Files& files_;
    const Clock& clock_;
    std::mutex mutex_;
    std::string folder_;
};

} // namespace quorva
