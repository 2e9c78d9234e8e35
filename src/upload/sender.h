#pragma once

// The sender: one thread that owns the network. It takes the oldest job due from the job store,
// sends it, records what became of it and tells the capture's thread, one job at a time, so that
// capture never waits on the server. A job is marked sent only once its answer has been
// evaluated; a failed one waits by the retry schedule, or less when another job gets through.
// The waits are measured on the clock's elapsed time, so a wall clock set back or forward, or a
// change to daylight saving, neither stalls nor hurries a failed job.
//
// The sender owns its transport (the HTTP client and the report upload); the capture's thread
// hands it only immutable settings snapshots. The one thing both threads use is the job store,
// whose every call is atomic under its own lock.

#include "platform/clock.h"
#include "store/job_store.h"
#include "store/outbox.h"
#include "upload/report_upload.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quorva {

// What the sender needs of the settings, as the capture had them when it handed them over.
struct SenderSettings {
    std::string serverUrl;
    std::string proxyServer; // empty: no proxy
    int proxyPort = 80;
};

// How a job's request reaches the server; used on the sender thread only, but for interrupt().
class Transport {
public:
    virtual ~Transport() = default;
    // Sends the request. Whatever it throws counts as a failed transfer.
    virtual UploadOutcome send(const UploadRequest& request, const SenderSettings& settings) = 0;
    // Cuts a send in progress short; called from another thread.
    virtual void interrupt() = 0;
};

class Sender {
public:
    // Told, on the sender thread, of each job whose state changed.
    using Notify = std::function<void(std::int64_t key)>;

    // Sends only copies that `outbox` holds.
    Sender(JobStore& store, const Outbox& outbox, const Clock& clock,
           std::unique_ptr<Transport> transport, SenderSettings settings, Notify notify);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void start();
    // Ends the thread, cutting its current transfer short (the job then stays waiting).
    void stop();
    // There may be a job to send now.
    void wake();
    // The settings the next send uses.
    void applySettings(SenderSettings settings);

    // Sends the oldest due job, if any; false when none is due. The thread's one step.
    bool sendNext();

private:
    void run();
    // The first failed job whose wait is over.
    std::optional<StoredJob> nextFailedDue();
    // When the failed job is due, on the elapsed time. A job failed in an earlier run waits what
    // its stored next attempt says, but never longer than its delay.
    std::chrono::milliseconds dueOf(const StoredJob& job);
    // How long the thread may sleep with nothing due.
    std::chrono::milliseconds idleWait();

    JobStore& store_;
    const Outbox& outbox_;
    const Clock& clock_;
    const std::unique_ptr<Transport> transport_;
    Notify notify_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool woken_ = false;
    SenderSettings settings_;
    // The failed jobs' due times; the sender's thread alone uses it.
    std::map<std::int64_t, std::chrono::milliseconds> due_;
    std::thread thread_;
};

// The request a stored job sends.
UploadRequest requestOf(const StoredJob& job);

// Why the record, read back from a store that others may have written, cannot be sent as it
// stands: its copy is not one of the outbox's, or a field that goes on the wire is not plain text.
// Nothing when it can.
std::optional<std::string> recordProblem(const StoredJob& job, const Outbox& outbox);

} // namespace quorva
