#pragma once

// The outbox: a copy of each settled invoice's spool file, kept beside the job store until the
// job is forgotten. The spooler deletes printed jobs (unless they are kept), so what a retry
// sends, also after a restart, is this copy.

#include "platform/date_time.h"
#include "platform/files.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorva {

class JobStore;

// The longest file name the file systems take.
constexpr std::size_t kLongestFileName = 255;

// Why `name`, read back from disk, cannot stand as a file name or a form field: empty, longer
// than `longest` bytes, a control byte, or a path separator or drive colon. Nothing when it can.
std::optional<std::string> plainNameProblem(std::string_view name, std::size_t longest);

class Outbox {
public:
    Outbox(const Files& files, std::string folder);

    const std::string& folder() const { return folder_; }

    // A copy, and the bytes it holds: what is read and sent of the job from then on.
    struct Copy {
        std::string path;
        std::string bytes;
    };
    // Keeps the spool file's bytes in the outbox. The copy's name is vouched for in `ledger`, with
    // the job's print date, before anything is written, and the copy is complete and on disk under
    // its final name before this returns; its name begins with the time and ends with the spool
    // file's name, which `spoolNameOf` gives back.
    Copy keep(std::string bytes, const std::string& spoolName, const std::string& printDate,
              const DateTime& now, JobStore& ledger);
    static std::string spoolNameOf(const std::string& copyPath);
    // Whether `name` is made as `keep` names copies.
    static bool isCopyName(std::string_view name);
    // Whether `path`, read back from a record, is a file directly in this outbox named as a copy:
    // only such a path is ever read, sent or deleted.
    bool holds(const std::string& path) const;

    // Complete copies that no job names (the program ended between a copy and its record, or
    // the store that named them was lost), oldest first. Unfinished copies are deleted on the
    // way: their job was never recorded, and the spool file they came from is still the
    // spooler's.
    struct Orphan {
        std::string path;
        DateTime written; // UTC
    };
    std::vector<Orphan> orphans(const std::vector<std::string>& named) const;

private:
    const Files& files_;
    std::string folder_;
    int sequence_ = 0;
};

} // namespace quorva
