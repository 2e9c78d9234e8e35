#include "store/outbox.h"

#include "platform/percent_escape.h"
#include "store/job_store.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace quorva {

namespace {

constexpr std::string_view kUnfinished = ".part";

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// `count` digits (at least one when 0) then a dash, taken off the front of `name`.
bool takeDigits(std::string_view& name, std::size_t count) {
    std::size_t digits = 0;
    while (digits < name.size() && isDigit(name[digits]))
        ++digits;
    if (digits == 0 || (count != 0 && digits != count) || digits >= name.size() ||
        name[digits] != '-')
        return false;
    name.remove_prefix(digits + 1);
    return true;
}

} // namespace

std::optional<std::string> plainNameProblem(std::string_view name, std::size_t longest) {
    if (name.empty())
        return "vide";
    if (name.size() > longest)
        return "plus de " + std::to_string(longest) + " caractères";
    for (const char c : name) {
        if (isControlByte(static_cast<unsigned char>(c)))
            return "caractère de contrôle";
        if (c == '\\' || c == '/' || c == ':')
            return "séparateur de chemin";
    }
    if (name == "." || name == "..")
        return "nom de dossier";
    return std::nullopt;
}

Outbox::Outbox(const Files& files, std::string folder) : files_(files), folder_(std::move(folder)) {
}

Outbox::Copy Outbox::keep(std::string bytes, const std::string& spoolName,
                          const std::string& printDate, const DateTime& now, JobStore& ledger) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d%03d-%d-", now.year, now.month,
                  now.day, now.hour, now.minute, now.second, now.millisecond, ++sequence_);
    const std::string copy = folder_ + "\\" + stamp + spoolName;
    const std::string unfinished = copy + std::string(kUnfinished);
    Copy kept{copy, std::move(bytes)};
    ledger.vouchForCopy(copy.substr(folder_.size() + 1), printDate);
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

bool Outbox::isCopyName(std::string_view name) {
    // Date, time with milliseconds, sequence number, then the spool file's name.
    return takeDigits(name, 8) && takeDigits(name, 9) && takeDigits(name, 0) &&
           !plainNameProblem(name, kLongestFileName) && !endsWith(name, kUnfinished);
}

bool Outbox::holds(const std::string& path) const {
    const std::string_view folder = std::string_view(path).substr(0, folder_.size() + 1);
    if (path.size() <= folder.size() || folder != folder_ + "\\")
        return false;
    const std::string name = path.substr(folder.size());
    if (!isCopyName(name))
        return false;
    // Listed: a plain file, not a folder.
    const std::vector<DirectoryEntry> entries = files_.list(folder_);
    return std::any_of(entries.begin(), entries.end(),
                       [&](const DirectoryEntry& entry) { return entry.name == name; });
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
