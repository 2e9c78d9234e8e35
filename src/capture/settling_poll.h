#pragma once

// The settling poll: every 500 ms a pass re-reads the sizes of the jobs' spool files and hands a
// file whose size has stayed the same for six readings in a row to extraction. A file that a
// writer still holds open keeps polling, however long it pauses; a file whose settled version was
// already handed over (same size, same last write) is not handed over again.

#include "capture/job_list.h"
#include "platform/files.h"

#include <functional>
#include <string>

namespace quorva {

class SettlingPoll {
public:
    // Extracts the job's invoice and records it for the sender; `lastWrite` is the settled file's,
    // in UTC.
    using Extract = std::function<void(JobId id, const DateTime& lastWrite)>;
    // A spool file that had content went away before it could be read (the spooler deleted it:
    // its printer does not keep printed jobs).
    using Vanished = std::function<void(JobId id)>;

    SettlingPoll(JobList& jobs, const Files& files);

    // The heartbeat's caption after a pass: ".." and "..." alternate.
    static std::string nextInfoText(const std::string& caption);

    // One pass over the jobs of `folder`, with the timer already disabled: every job settled in
    // it is extracted. Calls `enableTimer` once when a job still needs polling or a job was
    // extracted. When `extract` throws, the failed job stays done and the pass ends there;
    // `enableTimer` is still called when another job needs polling, then the exception
    // propagates.
    void pass(const std::string& folder, const Extract& extract,
              const std::function<void()>& enableTimer, const Vanished& vanished = {});

private:
    bool anyPolling(JobId from) const;
    // Hands the settled job to extraction unless this version of its file already was; records
    // the version. Returns whether extraction ran.
    bool settle(JobId id, const std::string& path, std::int64_t size, const Extract& extract);

    JobList& jobs_;
    const Files& files_;
};

// The job's spool file in `folder`.
std::string spoolPathOf(const Job& job, const std::string& folder);

} // namespace quorva
