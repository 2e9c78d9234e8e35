#pragma once

// The job store: every captured spool file, from the moment its invoice is read until long after
// its report id came back, in a SQLite database beside the outbox. What it holds survives a
// crash, a kill or a power cut (WAL, synchronous=FULL), so a job waiting to be sent is sent after
// the next start. The window's thread and the sender thread share it; each call is atomic.

#include "platform/date_time.h"
#include "store/job_state.h"
#include "store/sqlite.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorva {

struct StoredJob {
    std::int64_t key = 0;
    std::string spoolName; // lower-cased file name, as the row shows it
    std::string spoolPath; // where the spooler wrote it: the file part's name on the wire
    DateTime capturedAt;   // the row's date: the last change record, in local time (shown)
    // The request's fields, fixed when the job is recorded.
    std::string printDate;
    std::string site;
    std::int32_t jobNumber = 0;
    std::wstring customer;
    std::wstring registration;
    std::wstring chassis;
    std::wstring document;
    JobState state = JobState::Waiting;
    std::string reportId;
    int attempts = 0;
    DateTime nextAttempt; // when a failed job is sent again
    std::string lastError;
    // A request went out whose answer never came: the server may hold the job twice.
    bool maybeDuplicate = false;
    std::string copyPath; // the outbox copy that is sent; empty when there is none
    // The earlier, incomplete version of the same spool job, 0 for none.
    std::int64_t replaces = 0;
    // The spool file's last write when it settled, in UTC: the version of the file this job is.
    DateTime spoolWritten;
};

// What keeps a store from opening or being read, as its owner acts on it.
enum class StoreTrouble {
    Busy,        // another program holds it: wait until it lets go
    DiskFull,    // wait for room
    NewerSchema, // a later version wrote it: refused, and left as it is
    Corrupt,     // not a job store any more: set aside
    Other,       // anything else (rights, a missing folder): wait, saying why
};

// The kind of a failure thrown by a store, or by anything else while opening one (Other).
StoreTrouble storeTrouble(const std::exception& failure);

class JobStore {
public:
    // Opens the database at `utf8Path`, creating it when missing (":memory:" keeps it in
    // memory). Throws Error with SQLite's reason when it cannot be opened or is not a job store
    // (see storeTrouble). Another program's lock is waited for briefly: the owner tries again
    // later rather than stall its thread. A job that was being sent when the program ended is
    // waiting again, marked as a possible duplicate.
    explicit JobStore(const std::string& utf8Path);

    // When this store was made (for a store of an earlier version: when it was brought to this
    // one), in UTC. An outbox copy older than that may belong to a store that was lost.
    DateTime createdAt() const;
    // When capture first watched the spool folder for this store, in UTC; nothing before that.
    std::optional<DateTime> watchedSince() const;
    // Capture watches now (UTC): the first time is kept.
    void markWatched(const DateTime& utcNow);
    ~JobStore();
    JobStore(const JobStore&) = delete;
    JobStore& operator=(const JobStore&) = delete;

    // Records the job and returns its key.
    std::int64_t add(const StoredJob& job);
    std::optional<StoredJob> find(std::int64_t key) const;

    // The oldest waiting job.
    std::optional<StoredJob> nextWaiting() const;
    // The failed jobs, oldest first.
    std::vector<StoredJob> failedJobs() const;

    // The job goes on the wire, if it still waits or failed: one more attempt, and in flight
    // until its answer is evaluated. A job already in flight (its earlier answer was never
    // recorded) may reach the server twice. False, and nothing changed, for a job replaced or
    // settled since it was read.
    bool claim(std::int64_t key);
    void markSent(std::int64_t key, const std::string& reportId);
    void markRefused(std::int64_t key, const std::string& reason);
    void markFailed(std::int64_t key, const std::string& reason, const DateTime& nextAttempt,
                    bool answerLost);
    // The record cannot be trusted as it stands: it waits for the user, never sent on its own.
    void markToCheck(std::int64_t key, const std::string& reason);
    // A refused, failed or unchecked job is sent again now.
    void sendAgain(std::int64_t key);
    // After a success the server is back: every failed job is due now.
    void makeFailedDue(const DateTime& now);
    // The complete version's record replaces the earlier one if that has not gone yet (waiting
    // or failed, and not in flight); returns whether it did.
    bool replaceUnsent(std::int64_t earlier);

    // The jobs to list: those captured at or after `from`, and every unsettled one whatever its
    // age, oldest first.
    std::vector<StoredJob> listed(const DateTime& from) const;
    // A job of that spool name whose file was written at or after `lastWrite` (UTC): the file is
    // known.
    bool knows(const std::string& spoolName, const DateTime& lastWrite) const;
    // The settled jobs captured before `cutoff` (never one still to be sent or looked at), with
    // their copies, for `forget`.
    std::vector<StoredJob> settledBefore(const DateTime& cutoff) const;
    // Forgets the job and the proof of its copy; the copy must be gone first, so that it is never
    // found again unrecorded.
    void forget(std::int64_t key);
    // The proof that the outbox copy `name` is this program's: recorded, durably, before the copy
    // is written, so that a copy left unrecorded by a crash is still known as its own, and sent
    // with the print date its job was given.
    void vouchForCopy(const std::string& name, const std::string& printDate);
    bool wroteCopy(const std::string& name) const;
    // The print date recorded with the copy `name`; empty when there is none (a copy of an
    // earlier version of the store).
    std::string copyPrintDate(const std::string& name) const;
    // The copy at `copyPath` was deleted before any job named it: its proof goes too.
    void forgetCopy(const std::string& copyPath);
    // The store was found where others could have written it: none of its proofs stands, and its
    // jobs still to be sent wait for the user.
    void distrustCopies();
    // A file in the outbox without that proof: true the first time it is noted.
    bool noteStrangeCopy(const std::string& name);
    // The jobs whose customer, registration, chassis or document holds `text` (letter case
    // ignored for A to Z), newest first, at most `limit`.
    std::vector<StoredJob> search(const std::wstring& text, int limit) const;
    // How many invoices wait to be sent: waiting, or failed and to be tried again.
    int pendingCount() const;
    // Every outbox copy a job names.
    std::vector<std::string> copyPaths() const;
    // The highest job number recorded, 0 for none.
    std::int32_t lastJobNumber() const;

private:
    void update(const std::string& sql, std::int64_t key, const std::string& text = {});
    void deleteProof(const std::string& copyPath);
    std::vector<StoredJob> select(const std::string& where,
                                  const std::vector<std::string>& values) const;

    sqlite::Database db_;
    mutable std::mutex mutex_;
};

// The job's state as the grid's "État" column shows it (ANSI text).
std::string jobStateText(const StoredJob& job);

} // namespace quorva
