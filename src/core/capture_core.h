#pragma once

// The capture core: everything between the spool folder and the report server, with no window.
//
//   watcher's change buffers ──▶ ChangeProcessor ──▶ jobs (JobList) ◀── SettlingPoll (500 ms)
//                                                        │ settled: extracted, copied, recorded
//                                                        ▼
//                                  JobStore + Outbox ──▶ Sender thread ──▶ report server
//                                        ▲                    │
//                                        └── jobChanged(key) ◀┘ (posted back to this thread)
//
// It lives on the window's thread: the window hands it the watcher's buffers, the poll's ticks,
// the settings snapshots and the sender's posted news, and shows its jobs and events. The
// sender's thread owns the network and nothing else of it.

#include "capture/change_processor.h"
#include "capture/job_list.h"
#include "capture/settling_poll.h"
#include "core/daily_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "store/job_store.h"
#include "store/outbox.h"
#include "upload/sender.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorva {

// The settings capture works with, as the window had them when it handed them over.
struct CaptureSettings {
    std::string spoolFolder; // where the poll and extraction read the spool files
    std::string siteName;
    SenderSettings sender;
};

// Told, on the core's thread, of what a person should see besides the jobs.
class CaptureObserver {
public:
    virtual ~CaptureObserver() = default;
    // A line for the event list, newest on top.
    virtual void eventAdded(const std::string& line) = 0;
    virtual void eventsCleared() = 0;
    // What keeps capture from working; empty once it works again.
    virtual void statusChanged(const std::string& text) = 0;
    // A spool file went away before it could be read: IT should see that its printer does not
    // keep printed jobs.
    virtual void jobVanished(const std::string& text) = 0;
};

// How an attempt to start capture went.
struct CaptureOpening {
    enum class Result {
        Open,    // capture runs
        Waiting, // the store cannot be used yet (held by another program, a full disk): try again
        Refused, // a later version wrote the store: this program does not capture
    };
    Result result = Result::Open;
    // What IT should be told, once: a store set aside, or a new reason that capture does not run.
    // Empty when there is nothing new.
    std::string news;
};

// Left in the data folder by the step that made it the service's when it found the folder
// writable by others: the store and outbox found there may have been planted.
inline constexpr const char* kUnverifiedMarker = "unverified";

class CaptureCore {
public:
    struct Services {
        const Files& files;
        const Clock& clock;
        const Locale& locale;
        // The folder of the job store, the outbox and the logs.
        std::string dataFolder;
        // Called on the sender's thread: must bring the key to the core's thread and call
        // onJobChanged there.
        std::function<void(std::int64_t key)> postJobChanged;
        // The sender's transport; nothing: HTTP to the report server.
        std::function<std::unique_ptr<Transport>()> makeTransport;
    };

    CaptureCore(Services services, CaptureObserver& observer, CaptureSettings settings);
    ~CaptureCore();
    CaptureCore(const CaptureCore&) = delete;
    CaptureCore& operator=(const CaptureCore&) = delete;

    // Opens the job store and starts capture, all or nothing: after a failure nothing of it runs,
    // the observer's status says why, and the result whether to try again. Only a store that is
    // no job store any more is set aside, and the new one made takes as new the spool files
    // written since the old one's last write. Forgets the settled jobs older than 90 days, takes
    // in the copies a crash left unrecorded, lists the last 7 days and every job still unsettled,
    // and starts the sender. The first call opens the day's log for this run with `startLine`.
    CaptureOpening open(const std::string& startLine = {});
    bool isOpen() const { return sender_ != nullptr; }
    // Stops the sender, cutting its transfer short, and closes the store.
    void close();

    const JobList& jobs() const { return jobs_; }
    JobList& jobs() { return jobs_; }
    DailyLog& dailyLog() { return dailyLog_; }
    void applySettings(const CaptureSettings& settings);
    const CaptureSettings& settings() const { return settings_; }

    // ---- The watcher's news; each returns whether the settling poll must run.
    // Watching `folder` has started: its files now are old jobs, but for those printed while
    // nothing watched (written since capture first watched for this store, and unknown to it).
    // Only once open: without its store, every file would be taken for an old one.
    bool watchingStarted(const std::string& folder);
    bool onChanges(const unsigned char* buffer, std::size_t bufferSize, unsigned long transferred,
                   const std::string& folder);
    // Returns the text that tells it.
    std::string onFolderLost(const std::string& reason);
    // A line for the event list and the log.
    void addEvent(const std::string& text);
    bool onFolderBack(const std::string& folder);

    // One pass of the settling poll (see SettlingPoll::pass), and another try at the jobs that
    // could not be copied or recorded.
    void pollPass(const std::function<void()>& enableTimer);

    // ---- The sender's news and the user's demands
    // Returns the job's new state; nothing for a job the store no longer has.
    std::optional<JobState> onJobChanged(std::int64_t key);
    // Whether the job was refused, failed or found unrecorded, so that it can be sent again on
    // demand.
    bool canSendAgain(JobId id) const;
    void sendAgain(JobId id);

    // ---- What the desk shows besides the jobs
    // The jobs of the whole store (90 days) whose customer, registration, chassis or document
    // holds `text`, newest first. A found job not in the list yet joins it, marked found by
    // search, so that the views can show it and act on it like the others.
    std::vector<JobId> search(const std::wstring& text);
    // How many invoices wait to be sent (waiting, or failed and to be tried again).
    int pendingCount() const;

private:
    class Events final : public EventLog {
    public:
        Events(CaptureObserver& observer, DailyLog& log) : observer_(observer), log_(log) {}
        void insertTop(const std::string& line) override;
        void clear() override { observer_.eventsCleared(); }

    private:
        CaptureObserver& observer_;
        DailyLog& log_;
    };

    // A settled spool file that is still to be copied and recorded (the disk was full, the store
    // busy): tried again every 30 s, the job showing why it waits.
    struct Unrecorded {
        JobId id = kNoJob;
        std::string spoolPath;
        DateTime lastWrite; // UTC
        // The file's bytes as read when it settled: what every try writes, even once the spooler
        // has deleted the file or used its name again. Nothing until they could be read.
        std::optional<std::string> bytes;
        std::chrono::milliseconds due{0};
    };

    // Copies the spool file, reads the invoice from the copy and records the job; false, with the
    // job showing why, when the disk or the store refused.
    bool copyAndRecord(Unrecorded& pending);
    // `copy` holds the bytes read even for a job that is no invoice, whose copy has no path.
    void record(JobId id, const std::string& spoolPath, const DateTime& lastWrite,
                const Outbox::Copy& copy, bool invoice);
    // Whether `bytes` are the job's recorded bytes and maybe more: its writer went on, and the
    // new version stands in for the old. Anything else is another file under the same name.
    static bool goesOnFromRecorded(const Job& job, std::string_view bytes);
    JobId startAnotherJob(JobId id);
    void retryUnrecorded();
    void onVanished(JobId id);
    // The job's report identifier and state into its job, and what became of it into the log.
    void show(JobId id, const StoredJob& stored);
    // Opens the store and starts everything else; throws, leaving parts behind for close().
    void start();
    // Moves the store that is no job store aside and returns the text that tells it.
    std::string setStoreAside(const std::string& reason);
    // Why capture does not run, for the observer and the log once for each reason.
    CaptureOpening notOpen(const std::exception& failure);

    std::optional<std::string> openStore();
    // The store's proofs dropped when the data folder was found writable by others.
    void distrustIfFoundUnsafe();
    void forgetOldJobs();
    // Tells the log, once for each address, that its password would travel unencrypted.
    void warnOfPlainPassword();
    void recoverOrphanCopies();
    static Job historyJob(const StoredJob& stored);
    std::int32_t nextJobNumber() { return ++lastJobNumber_; }

    const Files& files_;
    const Clock& clock_;
    const Locale& locale_;
    const std::string dataFolder_;
    const std::string database_;
    std::function<void(std::int64_t)> postJobChanged_;
    std::function<std::unique_ptr<Transport>()> makeTransport_;
    CaptureObserver& observer_;
    CaptureSettings settings_;

    DailyLog dailyLog_;
    Events events_;
    JobList jobs_;
    ChangeProcessor changes_;
    SettlingPoll poll_;
    std::unique_ptr<JobStore> store_;
    std::unique_ptr<Outbox> outbox_;
    std::unique_ptr<Sender> sender_;
    std::int32_t lastJobNumber_ = 0;
    std::vector<Unrecorded> unrecorded_;
    bool logStarted_ = false;
    // The reason capture does not run as last told; empty while it runs.
    std::string trouble_;
    // The last write of a store set aside, for the new store's start of watching.
    std::optional<DateTime> asideLastWrite_;
};

} // namespace quorva
