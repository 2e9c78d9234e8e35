#include "upload/sender.h"

#include "store/retry_schedule.h"

#include <algorithm>
#include <chrono>

namespace quorva {

namespace {

// Seconds from `a` to `b` on the local calendar.
std::int64_t secondsBetween(const DateTime& a, const DateTime& b) {
    const auto seconds = [](const DateTime& d) {
        return daysFromCivil(d.year, d.month, d.day) * 86400 + d.hour * 3600 + d.minute * 60 +
               d.second;
    };
    return seconds(b) - seconds(a);
}

// The longest sleep with nothing due: a clock set forward or a lost wake costs no more.
constexpr std::int64_t kLongestWaitSeconds = 60;

} // namespace

UploadRequest requestOf(const StoredJob& job) {
    return {job.spoolPath, job.copyPath, job.spoolName, job.printDate, job.site, job.jobNumber};
}

Sender::Sender(JobStore& store, const Clock& clock, std::unique_ptr<Transport> transport,
               SenderSettings settings, Notify notify)
    : store_(store), clock_(clock), transport_(std::move(transport)), notify_(std::move(notify)),
      settings_(std::move(settings)) {
}

Sender::~Sender() {
    stop();
}

void Sender::start() {
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void Sender::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    transport_->interrupt();
    if (thread_.joinable())
        thread_.join();
}

void Sender::wake() {
    {
        const std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

void Sender::applySettings(SenderSettings settings) {
    const std::lock_guard lock(mutex_);
    settings_ = std::move(settings);
}

bool Sender::sendNext() {
    const auto job = store_.nextDue(clock_.now());
    if (!job)
        return false;
    SenderSettings settings;
    {
        const std::lock_guard lock(mutex_);
        settings = settings_;
    }
    store_.markSending(job->key);
    UploadOutcome outcome;
    try {
        outcome = transport_->send(requestOf(*job), settings);
    } catch (const std::exception& e) {
        outcome = {UploadOutcome::Kind::Failed, {}, e.what(), false};
    }
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ && outcome.kind == UploadOutcome::Kind::Failed) {
            // Cut short by the program's end: it waits for the next start.
            store_.markFailed(job->key, outcome.reason, clock_.now(), outcome.answerLost);
            return true;
        }
    }
    switch (outcome.kind) {
    case UploadOutcome::Kind::Sent:
        store_.markSent(job->key, outcome.reportId);
        // The server is back: the jobs that failed before need not wait their turn.
        store_.makeFailedDue(clock_.now());
        break;
    case UploadOutcome::Kind::Refused:
        store_.markRefused(job->key, outcome.reason);
        break;
    case UploadOutcome::Kind::Failed:
        store_.markFailed(job->key, outcome.reason,
                          addSeconds(clock_.now(), retryDelaySeconds(job->attempts + 1)),
                          outcome.answerLost);
        break;
    }
    notify_(job->key);
    return true;
}

void Sender::run() {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (stopping_)
                return;
            woken_ = false;
        }
        bool sent = false;
        try {
            sent = sendNext();
        } catch (const std::exception&) {
            // The store failed (disk full, file locked): try again after a pause.
        }
        if (sent)
            continue;
        std::int64_t wait = kLongestWaitSeconds;
        try {
            if (const auto next = store_.nextAttempt())
                wait = std::clamp<std::int64_t>(secondsBetween(clock_.now(), *next) + 1, 1,
                                                kLongestWaitSeconds);
        } catch (const std::exception&) {
        }
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(wait), [this] { return stopping_ || woken_; });
    }
}

} // namespace quorva
