#pragma once

// Turns the directory-change records of one completed read into event lines and jobs.
// Runs on the main thread while the watcher's worker waits.

#include "capture/job_list.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace quorva {

// The change buffer's size: one byte more than a page, as the watcher has always used.
constexpr std::size_t kChangeBufferSize = 4097;

// The spool tab's event list; the newest line goes on top.
class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void insertTop(const std::string& line) = 0;
    virtual void clear() = 0;
};

// An event list line: the time in the "c" format, " - ", then the text.
std::string eventLine(const DateTime& when, const Locale& locale, std::string_view text);

// The last n characters of the text, or the whole text when it is shorter.
std::string rightChars(const std::string& text, std::size_t n);

class ChangeProcessor {
public:
    ChangeProcessor(JobList& jobs, EventLog& log, const Clock& clock, const Locale& locale,
                    const Files& files);

    // One completed read: `buffer` holds `bufferSize` bytes of FILE_NOTIFY_INFORMATION records
    // (Wine does not align them), `transferred` is the byte count the completion reported and
    // `folder` the watched folder. Only the first min(bufferSize, transferred) bytes are read;
    // the walk stops at a record that does not fit in them and skips records with an unknown
    // action code or an empty name. A completion without records (overflow or failed read) logs
    // a line and rescans the folder. Returns true when a record was accepted or the rescan added
    // or refreshed a job, so that the settling poll must run.
    bool process(const unsigned char* buffer, std::size_t bufferSize, unsigned long transferred,
                 const std::string& folder);

    // Watching of `folder` starts: the last event line is forgotten and the folder is read in
    // full, so that a rescan later takes only the files written after this. The files there are
    // old jobs, but for those `isNew` takes (printed while nothing watched): they get a job, as a
    // record would have made it. Returns whether one did.
    bool startWatching(const std::string& folder,
                       const std::function<bool(const DirectoryEntry&)>& isNew = {});
    // The folder could be opened again after it was lost: logs it and rescans.
    bool folderBack(const std::string& folder);
    const std::string& lastEventLine() const { return lastEventLine_; }

private:
    bool processRecord(std::uint32_t action, const std::wstring& name);
    // Jobs for the files written since the folder was last read in full, or since their job's
    // last change; then this reading becomes the last full one.
    bool rescan(const std::string& folder, std::string_view why);
    void readInFull(const std::vector<DirectoryEntry>& entries);
    // Logs the action line and makes or refreshes the job of `lowerName` (`id`, or kNoJob for a
    // new job).
    void applyChange(const std::string& line, const std::string& lowerName, JobId id);

    JobList& jobs_;
    EventLog& log_;
    const Clock& clock_;
    const Locale& locale_;
    const Files& files_;
    std::string lastEventLine_;
    // The folder's files at its last full reading, by lower-cased name. The files there already
    // were jobs before (with keep-printed-jobs on, printed ones): a rescan must not send them.
    std::map<std::string, DirectoryEntry> lastRead_;
};

} // namespace quorva
