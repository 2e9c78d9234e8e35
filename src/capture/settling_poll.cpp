#include "capture/settling_poll.h"

#include <cstdint>

namespace quorva {

SettlingPoll::SettlingPoll(JobList& jobs, const Files& files) : jobs_(jobs), files_(files) {
}

std::string SettlingPoll::nextInfoText(const std::string& caption) {
    return caption == ".." ? "..." : "..";
}

std::string spoolPathOf(const Job& job, const std::string& folder) {
    return folder + "\\" + job.spoolName;
}

bool SettlingPoll::anyPolling(JobId from) const {
    for (JobId id = from; id < jobs_.size(); ++id) {
        if (!jobs_.at(id).done())
            return true;
    }
    return false;
}

namespace {

// The spooler's job files; its companion (.shd) and temporary files come and go.
bool isSpoolFile(const std::string& lowerName) {
    return lowerName.size() > 4 && lowerName.compare(lowerName.size() - 4, 4, ".spl") == 0;
}

} // namespace

void SettlingPoll::pass(const std::string& folder, const Extract& extract,
                        const std::function<void()>& enableTimer, const Vanished& vanished) {
    bool morePolling = false;
    bool extracted = false;
    const JobId count = jobs_.size();
    for (JobId id = 0; id < count; ++id) {
        const Job& job = jobs_.at(id);
        if (job.done())
            continue;
        const std::string path = spoolPathOf(job, folder);
        const std::int64_t size = files_.sizeBySearch(path);
        if (size != job.size) {
            jobs_.update(id, [size](Job& changed) {
                changed.size = size;
                changed.steadyReadings = 0;
                changed.hadContent = changed.hadContent || size > 1;
            });
            morePolling = true;
            continue;
        }
        if (job.steadyReadings < kReadyReadings) {
            jobs_.update(id, [](Job& changed) { ++changed.steadyReadings; });
            morePolling = true;
        } else if (size > 1 && files_.heldForWriting(path)) {
            // The writer only paused: the job is not complete until it lets the file go.
            morePolling = true;
        } else {
            jobs_.update(id, [](Job& changed) { ++changed.steadyReadings; });
            // Only a file never read: the spooler deletes a printed job it does not keep.
            if (size < 0 && job.hadContent && !job.settled && vanished &&
                isSpoolFile(job.spoolName))
                vanished(id);
            if (size <= 1)
                continue;
            try {
                extracted |= settle(id, path, size, extract);
            } catch (...) {
                // The error box ends this pass, but the other jobs must not stop settling.
                if (morePolling || anyPolling(id + 1))
                    enableTimer();
                throw;
            }
        }
    }
    if (morePolling || extracted)
        enableTimer();
}

bool SettlingPoll::settle(JobId id, const std::string& path, std::int64_t size,
                          const Extract& extract) {
    const DateTime lastWrite = files_.lastWriteUtc(path);
    const std::optional<Job::SettledVersion> before = jobs_.at(id).settled;
    if (before && before->size == size && before->lastWrite == lastWrite)
        return false; // a record without a new version: what was sent stands
    extract(id, lastWrite);
    jobs_.update(id, [&](Job& job) { job.settled = Job::SettledVersion{size, lastWrite}; });
    return true;
}

} // namespace quorva
