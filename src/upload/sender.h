#pragma once

// The sender: one thread that owns the network. It takes the oldest job due from the job store,
// sends it, records what became of it and tells the window, one job at a time, so that the
// window never waits on the server. A job is marked sent only once its answer has been
// evaluated; a failed one waits by the retry schedule, or less when another job gets through.

#include "platform/clock.h"
#include "store/job_store.h"
#include "upload/report_upload.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace quorva {

class Sender {
public:
    // Sends one job's request to the server URL. Whatever it throws counts as a failed transfer.
    using Transfer = std::function<UploadOutcome(const UploadRequest&, const std::string& url)>;
    // Told, on the sender thread, of each job whose state changed.
    using Notify = std::function<void(std::int64_t key)>;

    Sender(JobStore& store, const Clock& clock, Transfer transfer, Notify notify);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void start();
    // Ends the thread once its current job is done; `interrupt` cuts that job's transfer short
    // (the job then stays waiting).
    void stop(const std::function<void()>& interrupt = {});
    // There may be a job to send now.
    void wake();
    void setServerUrl(const std::string& url);

    // Sends the oldest due job, if any; false when none is due. The thread's one step.
    bool sendNext();

private:
    void run();

    JobStore& store_;
    const Clock& clock_;
    Transfer transfer_;
    Notify notify_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool woken_ = false;
    std::string serverUrl_;
    std::thread thread_;
};

// The request a stored job sends.
UploadRequest requestOf(const StoredJob& job);

} // namespace quorva
