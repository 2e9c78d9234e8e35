#include "core/daily_log.h"

#include "platform/date_format.h"
#include "platform/percent_escape.h"

#include <cstdio>
#include <exception>

namespace quorva {

namespace {

constexpr std::string_view kPrefix = "quorva-";
constexpr std::string_view kSuffix = ".log";

std::string dayText(const DateTime& d) {
    return formatPicture(d, "yyyy-MM-dd");
}

} // namespace

DailyLog::DailyLog(const Files& files, const Clock& clock) : files_(files), clock_(clock) {
}

void DailyLog::open(const std::string& folder) {
    const std::lock_guard lock(mutex_);
    try {
        files_.createFolders(folder);
        folder_ = folder;
    } catch (const std::exception&) {
        folder_.clear();
    }
}

void DailyLog::write(const std::string& line) {
    const DateTime now = clock_.now();
    const std::string time = formatPicture(now, "HH:mm:ss ");
    const std::lock_guard lock(mutex_);
    if (folder_.empty())
        return;
    try {
        files_.appendFile(folder_ + "\\" + std::string(kPrefix) + dayText(now) +
                              std::string(kSuffix),
                          time + percentEscaped(line) + "\r\n");
    } catch (const std::exception&) {
        // A full disk or a locked file costs the line, never the desk.
    }
}

void DailyLog::prune() {
    const std::string oldestKept = dayText(addDays(clock_.now(), -kKeptDays));
    const std::lock_guard lock(mutex_);
    if (folder_.empty())
        return;
    for (const DirectoryEntry& entry : files_.list(folder_)) {
        const std::string& name = entry.name;
        if (name.size() != kPrefix.size() + 10 + kSuffix.size() ||
            name.compare(0, kPrefix.size(), kPrefix) != 0 ||
            name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            continue;
        if (name.substr(kPrefix.size(), 10) < oldestKept) {
            try {
                files_.removeFile(folder_ + "\\" + name);
            } catch (const std::exception&) {
            }
        }
    }
}

} // namespace quorva
