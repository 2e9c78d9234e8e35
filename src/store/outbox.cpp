#include "store/outbox.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace quorva {

namespace {

constexpr std::string_view kUnfinished = ".part";

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

} // namespace

Outbox::Outbox(const Files& files, std::string folder) : files_(files), folder_(std::move(folder)) {
}

Outbox::Copy Outbox::keep(const std::string& spoolPath, const std::string& spoolName,
                          const DateTime& now) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d%03d-%d-", now.year, now.month,
                  now.day, now.hour, now.minute, now.second, now.millisecond, ++sequence_);
    const std::string copy = folder_ + "\\" + stamp + spoolName;
    const std::string unfinished = copy + std::string(kUnfinished);
    Copy kept{copy, files_.readShared(spoolPath)};
    files_.writeFile(unfinished, kept.bytes);
    files_.replaceFile(unfinished, copy);
    return kept;
}

std::string Outbox::spoolNameOf(const std::string& copyPath) {
    std::string name = copyPath.substr(copyPath.find_last_of("\\/") + 1);
    // After the date, the time and the sequence number.
    for (int part = 0; part < 3; ++part)
        name.erase(0, name.find('-') == std::string::npos ? 0 : name.find('-') + 1);
    return name;
}

std::vector<Outbox::Orphan> Outbox::orphans(const std::vector<std::string>& named) const {
    const std::set<std::string> known(named.begin(), named.end());
    std::vector<Orphan> found;
    for (const DirectoryEntry& entry : files_.list(folder_)) {
        const std::string path = folder_ + "\\" + entry.name;
        if (endsWith(entry.name, kUnfinished))
            files_.removeFile(path);
        else if (known.count(path) == 0)
            found.push_back({path, entry.lastWrite});
    }
    // The names begin with the time of the copy.
    std::sort(found.begin(), found.end(),
              [](const Orphan& a, const Orphan& b) { return a.path < b.path; });
    return found;
}

} // namespace quorva
