#include "upload/sender.h"

#include "net/ascii.h"
#include "store/retry_schedule.h"

#include <algorithm>
#include <chrono>

namespace quorva {

namespace {

using std::chrono::milliseconds;

// The longest site name a record may carry.
constexpr std::size_t kLongestSite = 64;

// The longest sleep with nothing due: a lost wake costs no more.
constexpr milliseconds kLongestWait{60000};

milliseconds delayOf(int failures) {
    return milliseconds(std::int64_t{retryDelaySeconds(failures)} * 1000);
}

} // namespace

UploadRequest requestOf(const StoredJob& job) {
    return {job.spoolPath, job.copyPath, job.spoolName, job.printDate, job.site, job.jobNumber};
}

std::optional<std::string> recordProblem(const StoredJob& job, const Outbox& outbox) {
    if (!outbox.holds(job.copyPath))
        return std::string("sa copie n'est pas un fichier de la boîte d'envoi");
    if (const auto problem = plainNameProblem(job.spoolName, kLongestFileName))
        return "nom de fichier refusé (" + *problem + ")";
    if (!job.site.empty()) {
        if (const auto problem = plainNameProblem(job.site, kLongestSite))
            return "nom de site refusé (" + *problem + ")";
    }
    if (hasControlCharacter(job.spoolPath) || hasControlCharacter(job.printDate))
        return std::string("caractère de contrôle dans le chemin ou la date");
    if (!job.reportId.empty()) {
        if (const auto problem = reportIdProblem(job.reportId))
            return "identifiant de rapport refusé : " + *problem;
    }
    return std::nullopt;
}

Sender::Sender(JobStore& store, const Outbox& outbox, const Clock& clock,
               std::unique_ptr<Transport> transport, SenderSettings settings, Notify notify)
    : store_(store), outbox_(outbox), clock_(clock), transport_(std::move(transport)),
      notify_(std::move(notify)), settings_(std::move(settings)) {
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

milliseconds Sender::dueOf(const StoredJob& job) {
    const auto known = due_.find(job.key);
    if (known != due_.end())
        return known->second;
    const milliseconds left(millisecondsBetween(clock_.now(), job.nextAttempt));
    const milliseconds due =
        clock_.elapsed() + std::clamp(left, milliseconds{0}, delayOf(job.attempts));
    due_.emplace(job.key, due);
    return due;
}

std::optional<StoredJob> Sender::nextFailedDue() {
    const milliseconds now = clock_.elapsed();
    for (StoredJob& job : store_.failedJobs()) {
        if (dueOf(job) <= now)
            return std::move(job);
    }
    return std::nullopt;
}

milliseconds Sender::idleWait() {
    milliseconds wait = kLongestWait;
    const milliseconds now = clock_.elapsed();
    for (const StoredJob& job : store_.failedJobs())
        wait = std::min(wait, dueOf(job) - now);
    return std::clamp(wait, milliseconds{1000}, kLongestWait);
}

bool Sender::sendNext() {
    auto job = store_.nextWaiting();
    if (!job)
        job = nextFailedDue();
    if (!job)
        return false;
    if (const auto problem = recordProblem(*job, outbox_)) {
        // Nothing of it is opened or sent: the user looks at it.
        store_.markToCheck(job->key, "enregistrement refusé, " + *problem);
        due_.erase(job->key);
        notify_(job->key);
        return true;
    }
    SenderSettings settings;
    {
        const std::lock_guard lock(mutex_);
        settings = settings_;
    }
    if (!store_.claim(job->key))
        return true; // replaced by its complete version meanwhile: that one goes
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
        due_.erase(job->key);
        // The server is back: the jobs that failed before need not wait their turn.
        store_.makeFailedDue(clock_.now());
        for (auto& [key, due] : due_)
            due = clock_.elapsed();
        break;
    case UploadOutcome::Kind::Refused:
        store_.markRefused(job->key, outcome.reason);
        due_.erase(job->key);
        break;
    case UploadOutcome::Kind::Failed: {
        const int failures = job->attempts + 1;
        store_.markFailed(job->key, outcome.reason,
                          addSeconds(clock_.now(), retryDelaySeconds(failures)),
                          outcome.answerLost);
        due_[job->key] = clock_.elapsed() + delayOf(failures);
        break;
    }
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
        milliseconds wait = kLongestWait;
        try {
            wait = idleWait();
        } catch (const std::exception&) {
        }
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, wait, [this] { return stopping_ || woken_; });
    }
}

} // namespace quorva
