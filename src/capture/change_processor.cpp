#include "capture/change_processor.h"

#include "platform/date_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <tuple>

namespace quorva {

namespace {

// FILE_NOTIFY_INFORMATION: NextEntryOffset, Action, FileNameLength (bytes), then the UTF-16 name.
constexpr std::size_t kRecordHeaderSize = 12;

constexpr std::uint32_t kActionAdded = 1;
constexpr std::uint32_t kActionModified = 3;

// The action texts by action code 1 to 5, split around the name.
struct ActionFormat {
    std::string_view before;
    std::string_view after;
};
constexpr std::array<ActionFormat, 5> kActionFormats{{
    {"ADDED ", ""},
    {"DELETED ", ""},
    {"MODIFIED ", ""},
    {"RENAMED ", " [...]"},
    {"[...] into ", ""},
}};

// Files the spooler's neighbours leave in the folder that are never print jobs.
constexpr std::array<std::string_view, 4> kIgnoredEndings{".dhl", "~pas", "~ddp", "~dfm"};

constexpr std::string_view kRescanLine = "Trop de changements : relecture du dossier";
constexpr std::string_view kFolderBackLine =
    "Dossier du spouleur de nouveau accessible : relecture du dossier";

std::uint32_t readField(const unsigned char* at) {
    // Wine packs records without alignment, so never read them through a struct pointer.
    std::uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::wstring readName(const unsigned char* at, std::size_t units) {
    std::wstring name(units, L'\0');
    for (std::size_t i = 0; i < units; ++i) {
        std::uint16_t unit = 0;
        std::memcpy(&unit, at + 2 * i, sizeof unit);
        name[i] = static_cast<wchar_t>(unit);
    }
    return name;
}

std::string actionLine(std::uint32_t action, const std::string& name) {
    const ActionFormat& format = kActionFormats[action - 1];
    std::string line(format.before);
    line += name;
    line += format.after;
    return line;
}

// In the order the files were written, as their records would have come.
void sortByWriteTime(std::vector<DirectoryEntry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return std::tie(a.lastWrite, a.name) < std::tie(b.lastWrite, b.name);
    });
}

bool isIgnored(const std::string& lowerName) {
    const std::string ending = rightChars(lowerName, 4);
    return std::find(kIgnoredEndings.begin(), kIgnoredEndings.end(), ending) !=
           kIgnoredEndings.end();
}

} // namespace

std::string eventLine(const DateTime& when, const Locale& locale, std::string_view text) {
    return formatC(when, locale) + " - " + std::string(text);
}

std::string rightChars(const std::string& text, std::size_t n) {
    return text.size() <= n ? text : text.substr(text.size() - n);
}

ChangeProcessor::ChangeProcessor(JobList& jobs, EventLog& log, const Clock& clock,
                                 const Locale& locale, const Files& files)
    : jobs_(jobs), log_(log), clock_(clock), locale_(locale), files_(files) {
}

bool ChangeProcessor::process(const unsigned char* buffer, std::size_t bufferSize,
                              unsigned long transferred, const std::string& folder) {
    if (transferred == 0)
        return rescan(folder, kRescanLine);
    // The records come from the system, but are checked all the same: nothing is read outside
    // the bytes the completion reported.
    const std::size_t end = std::min<std::size_t>(bufferSize, transferred);
    bool accepted = false;
    std::size_t pos = 0;
    while (end - pos >= kRecordHeaderSize) {
        const unsigned char* record = buffer + pos;
        const std::uint32_t next = readField(record);
        const std::uint32_t action = readField(record + 4);
        const std::uint32_t nameBytes = readField(record + 8);
        if (nameBytes > end - pos - kRecordHeaderSize)
            break;
        if (action >= 1 && action <= kActionFormats.size() && nameBytes >= 2)
            accepted |= processRecord(action, readName(record + kRecordHeaderSize, nameBytes / 2));
        if (next == 0 || next > end - pos)
            break;
        pos += next;
    }
    return accepted;
}

bool ChangeProcessor::processRecord(std::uint32_t action, const std::wstring& name) {
    const std::string lowerName = locale_.lowerAnsi(locale_.wideToAnsi(name));
    std::string line = actionLine(action, lowerName);
    bool accepted = false;
    if (!isIgnored(lowerName)) {
        JobId id = jobs_.findByName(lowerName);
        // A repeat is news when its job is done: a writer that paused long enough for the job to
        // be sent has written the rest of it.
        accepted = line != lastEventLine_ || (id != kNoJob && jobs_.at(id).done());
        // A file created anew under the name of a finished job is another job: the spooler uses
        // its names again.
        if (action == kActionAdded && id != kNoJob && jobs_.at(id).done())
            id = kNoJob;
        if (accepted)
            applyChange(line, lowerName, id);
    }
    lastEventLine_ = std::move(line);
    return accepted;
}

bool ChangeProcessor::startWatching(const std::string& folder,
                                    const std::function<bool(const DirectoryEntry&)>& isNew) {
    lastEventLine_.clear();
    std::vector<DirectoryEntry> entries = files_.list(folder);
    readInFull(entries);
    if (!isNew)
        return false;
    sortByWriteTime(entries);
    bool added = false;
    for (const DirectoryEntry& entry : entries) {
        const std::string lowerName = locale_.lowerAnsi(entry.name);
        if (isIgnored(lowerName) || jobs_.findByName(lowerName) != kNoJob || !isNew(entry))
            continue;
        applyChange(actionLine(kActionAdded, lowerName), lowerName, kNoJob);
        added = true;
    }
    return added;
}

bool ChangeProcessor::folderBack(const std::string& folder) {
    return rescan(folder, kFolderBackLine);
}

void ChangeProcessor::readInFull(const std::vector<DirectoryEntry>& entries) {
    lastRead_.clear();
    for (const DirectoryEntry& entry : entries)
        lastRead_.emplace(locale_.lowerAnsi(entry.name), entry);
}

bool ChangeProcessor::rescan(const std::string& folder, std::string_view why) {
    log_.insertTop(eventLine(clock_.now(), locale_, why));
    // Records were lost, so the next record does not directly follow the last one logged.
    lastEventLine_.clear();

    std::vector<DirectoryEntry> entries = files_.list(folder);
    sortByWriteTime(entries);
    bool changed = false;
    for (const DirectoryEntry& entry : entries) {
        const std::string lowerName = locale_.lowerAnsi(entry.name);
        if (isIgnored(lowerName))
            continue;
        const auto before = lastRead_.find(lowerName);
        if (before != lastRead_.end() && before->second.sameVersion(entry))
            continue;
        const JobId id = jobs_.findByName(lowerName);
        // A job whose file was not written since its last change keeps its state, so that a
        // settled job is not uploaded twice; unless it was given up because its file could not be
        // found (the folder was away meanwhile).
        if (id != kNoJob) {
            const Job& job = jobs_.at(id);
            if (entry.lastWrite <= job.changedAtUtc && !(job.done() && job.size == -1))
                continue;
        }
        applyChange(actionLine(id == kNoJob ? kActionAdded : kActionModified, lowerName), lowerName,
                    id);
        changed = true;
    }
    readInFull(entries);
    return changed;
}

void ChangeProcessor::applyChange(const std::string& line, const std::string& lowerName, JobId id) {
    const DateTime utc = clock_.utcNow();
    const DateTime now = clock_.toLocal(utc);
    log_.insertTop(eventLine(now, locale_, line));
    if (id == kNoJob) {
        Job job;
        job.spoolName = lowerName;
        job.changedAt = now;
        job.changedAtUtc = utc;
        jobs_.add(std::move(job));
        return;
    }
    jobs_.update(id, [&](Job& job) {
        job.changedAt = now;
        job.changedAtUtc = utc;
        job.steadyReadings = 0;
    });
}

} // namespace quorva
