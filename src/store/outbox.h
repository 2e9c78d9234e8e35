#pragma once

// The outbox: a copy of each settled invoice's spool file, kept beside the job store until the
// job is forgotten. The spooler deletes printed jobs (unless they are kept), so what a retry
// sends, also after a restart, is this copy.

#include "platform/date_time.h"
#include "platform/files.h"

#include <string>
#include <vector>

namespace quorva {

class Outbox {
public:
    Outbox(const Files& files, std::string folder);

    const std::string& folder() const { return folder_; }

    // A copy, and the bytes it holds: what is read and sent of the job from then on.
    struct Copy {
        std::string path;
        std::string bytes;
    };
    // Copies the spool file into the outbox. The copy is complete and on disk under its final
    // name before this returns; its name begins with the time and ends with the spool file's
    // name, which `spoolNameOf` gives back.
    Copy keep(const std::string& spoolPath, const std::string& spoolName, const DateTime& now);
    static std::string spoolNameOf(const std::string& copyPath);

    // Complete copies that no job names (the program ended between a copy and its record, or
    // the store that named them was lost), oldest first. Unfinished copies are deleted on the
    // way: their job was never recorded, and the spool file they came from is still the
    // spooler's.
    struct Orphan {
        std::string path;
        DateTime written;
    };
    std::vector<Orphan> orphans(const std::vector<std::string>& named) const;

private:
    const Files& files_;
    std::string folder_;
    int sequence_ = 0;
};

} // namespace quorva
