#include "core/capture_core.h"

#include "platform/date_format.h"
#include "platform/utf8.h"
#include "upload/http_transport.h"
#include "upload/invoice_extraction.h"

#include <exception>

namespace quorva {

namespace {

constexpr int kHistoryDays = 7;
constexpr int kKeptDays = 90;
// A search shows at most this many jobs, the newest.
constexpr int kSearchLimit = 500;

} // namespace

void CaptureCore::Events::insertTop(const std::string& line) {
    observer_.eventAdded(line);
    log_.write(line);
}

CaptureCore::CaptureCore(Services services, CaptureObserver& observer, CaptureSettings settings)
    : files_(services.files), clock_(services.clock), locale_(services.locale),
      dataFolder_(std::move(services.dataFolder)),
      postJobChanged_(std::move(services.postJobChanged)),
      makeTransport_(std::move(services.makeTransport)), observer_(observer),
      settings_(std::move(settings)), dailyLog_(files_, clock_), events_(observer_, dailyLog_),
      changes_(jobs_, events_, clock_, locale_, files_), poll_(jobs_, files_) {
}

CaptureCore::~CaptureCore() {
    close();
}

std::optional<std::string> CaptureCore::open() {
    dailyLog_.open(dataFolder_ + "\\logs");
    dailyLog_.prune();
    std::optional<std::string> failure;
    const std::string database = dataFolder_ + "\\quorva.db";
    try {
        files_.createFolders(dataFolder_ + "\\outbox");
        store_ = std::make_unique<JobStore>(toUtf8(locale_.ansiToWide(database)));
    } catch (const std::exception& e) {
        failure = "Impossible d'ouvrir la base des travaux " + database + " : " + e.what() +
                  ". Les travaux restent en mémoire jusqu'à la fermeture";
        dailyLog_.write(*failure);
        store_ = std::make_unique<JobStore>(":memory:");
    }
    outbox_ = std::make_unique<Outbox>(files_, dataFolder_ + "\\outbox");
    lastJobNumber_ = store_->lastJobNumber();
    forgetOldJobs();
    recoverOrphanCopies();
    listHistory();

    std::unique_ptr<Transport> transport =
        makeTransport_ ? makeTransport_() : std::make_unique<HttpTransport>(files_, clock_);
    sender_ = std::make_unique<Sender>(*store_, clock_, std::move(transport), settings_.sender,
                                       postJobChanged_);
    sender_->start();
    return failure;
}

void CaptureCore::close() {
    if (sender_)
        sender_->stop();
    sender_.reset();
}

void CaptureCore::applySettings(const CaptureSettings& settings) {
    const bool serverChanged = settings.sender.serverUrl != settings_.sender.serverUrl;
    settings_ = settings;
    if (!sender_)
        return;
    sender_->applySettings(settings_.sender);
    // Jobs still waiting go to the new address.
    if (serverChanged)
        sender_->wake();
}

void CaptureCore::forgetOldJobs() {
    for (const std::string& copy :
         store_->removeCapturedBefore(addDays(clock_.now(), -kKeptDays))) {
        try {
            files_.removeFile(copy);
        } catch (const std::exception& e) {
            dailyLog_.write("Copie " + copy + " non supprimée : " + e.what());
        }
    }
}

void CaptureCore::recoverOrphanCopies() {
    // The program ended between a copy and its record: the copy is the job.
    for (const std::string& copy : outbox_->orphans(store_->copyPaths())) {
        try {
            const auto fields = extractInvoice(files_.readShared(copy), locale_);
            StoredJob job;
            job.spoolName = Outbox::spoolNameOf(copy);
            job.capturedAt = clock_.now();
            job.state = fields ? JobState::Waiting : JobState::NotAnInvoice;
            job.copyPath = copy;
            if (fields) {
                const UploadRequest request = prepareUpload(copy, job.spoolName, settings_.siteName,
                                                            nextJobNumber(), files_, locale_);
                job.spoolPath = copy;
                job.printDate = request.printDate;
                job.site = request.site;
                job.jobNumber = request.jobNumber;
                job.customer = fields->name;
                job.registration = fields->registration;
                job.chassis = fields->chassis;
                job.document = fields->document.value_or(L"");
            }
            store_->add(job);
            dailyLog_.write(job.spoolName + " : copie retrouvée dans la boîte d'envoi");
        } catch (const std::exception& e) {
            dailyLog_.write("Copie " + copy + " illisible : " + e.what());
        }
    }
}

Job CaptureCore::historyJob(const StoredJob& stored) {
    Job job;
    job.spoolName = stored.spoolName;
    job.changedAt = stored.capturedAt;
    job.steadyReadings = kDoneReadings;
    job.customer = stored.customer;
    job.registration = stored.registration;
    job.chassis = stored.chassis;
    job.document = stored.document;
    job.reportId = stored.reportId;
    job.stateText = jobStateText(stored);
    job.storeKey = stored.key;
    job.fromHistory = true;
    return job;
}

void CaptureCore::listHistory() {
    for (const StoredJob& stored : store_->capturedSince(addDays(clock_.now(), -kHistoryDays)))
        jobs_.add(historyJob(stored));
}

std::vector<JobId> CaptureCore::search(const std::wstring& text) {
    std::vector<JobId> found;
    if (!store_)
        return found;
    for (const StoredJob& stored : store_->search(text, kSearchLimit)) {
        JobId id = jobs_.findByStoreKey(stored.key);
        if (id == kNoJob) {
            Job job = historyJob(stored);
            job.foundBySearch = true;
            id = jobs_.add(std::move(job));
        }
        found.push_back(id);
    }
    return found;
}

int CaptureCore::pendingCount() const {
    return store_ ? store_->pendingCount() : 0;
}

std::optional<JobState> CaptureCore::storedState(std::int64_t key) const {
    if (!store_)
        return std::nullopt;
    const auto stored = store_->find(key);
    return stored ? std::optional(stored->state) : std::nullopt;
}

void CaptureCore::watchingStarted(const std::string& folder) {
    changes_.startWatching(folder);
}

bool CaptureCore::onChanges(const unsigned char* buffer, std::size_t bufferSize,
                            unsigned long transferred, const std::string& folder) {
    return changes_.process(buffer, bufferSize, transferred, folder);
}

void CaptureCore::onFolderLost(const std::string& reason) {
    const std::string text = "Dossier du spouleur inaccessible : " + reason;
    observer_.statusChanged(text);
    events_.insertTop(eventLine(clock_.now(), locale_, text));
}

bool CaptureCore::onFolderBack(const std::string& folder) {
    observer_.statusChanged("");
    return changes_.folderBack(folder);
}

void CaptureCore::pollPass(const std::function<void()>& enableTimer) {
    poll_.pass(
        settings_.spoolFolder, [this](JobId id) { extractAndRecord(id); }, enableTimer);
}

void CaptureCore::extractAndRecord(JobId id) {
    const std::string path = spoolPathOf(jobs_.at(id), settings_.spoolFolder);
    const std::string text = files_.readShared(path);
    bool invoice = false;
    jobs_.update(id, [&](Job& job) { invoice = extractIntoJob(job, text, locale_); });
    record(id, path, invoice);
}

void CaptureCore::record(JobId id, const std::string& path, bool invoice) {
    const Job& job = jobs_.at(id);
    StoredJob stored;
    stored.spoolName = job.spoolName;
    stored.spoolPath = path;
    stored.capturedAt = job.changedAt.year > 0 ? job.changedAt : clock_.now();
    stored.state = invoice ? JobState::Waiting : JobState::NotAnInvoice;
    if (invoice) {
        const UploadRequest request = prepareUpload(path, stored.spoolName, settings_.siteName,
                                                    nextJobNumber(), files_, locale_);
        stored.printDate = request.printDate;
        stored.site = request.site;
        stored.jobNumber = request.jobNumber;
        stored.customer = job.customer;
        stored.registration = job.registration;
        stored.chassis = job.chassis;
        stored.document = job.document;
        try {
            stored.copyPath = outbox_->keep(path, stored.spoolName, clock_.now());
        } catch (const std::exception& e) {
            // Without a copy the spool file itself is sent, while the spooler keeps it.
            dailyLog_.write(stored.spoolName +
                            " : pas de copie dans la boîte d'envoi : " + e.what());
        }
    }
    const std::int64_t earlier = job.storeKey;
    stored.key = store_->add(stored);
    if (earlier != 0)
        replacedJobs_[stored.key] = earlier;
    jobs_.update(id, [&](Job& changed) { changed.storeKey = stored.key; });
    show(id, stored);
    if (invoice)
        sender_->wake();
}

void CaptureCore::show(JobId id, const StoredJob& stored) {
    const std::string state = jobStateText(stored);
    jobs_.update(id, [&](Job& job) {
        job.reportId = stored.reportId;
        job.stateText = state;
    });
    dailyLog_.write(
        stored.spoolName + " : " + state +
        (stored.reportId.empty() ? std::string() : " (rapport " + stored.reportId + ")"));
}

void CaptureCore::onJobChanged(std::int64_t key) {
    if (!store_)
        return;
    const auto stored = store_->find(key);
    const JobId id = jobs_.findByStoreKey(key);
    if (stored && id != kNoJob)
        show(id, *stored);
    const auto replaced = replacedJobs_.find(key);
    if (!stored || stored->state != JobState::Sent || replaced == replacedJobs_.end())
        return;
    // The spooler's pause let an incomplete job go first: the event list says what replaces it.
    std::string line =
        "Version complète de " + stored->spoolName + " envoyée : rapport " + stored->reportId;
    const auto earlier = store_->find(replaced->second);
    if (earlier && !earlier->reportId.empty())
        line += " (remplace " + earlier->reportId + ")";
    events_.insertTop(eventLine(clock_.now(), locale_, line));
    replacedJobs_.erase(replaced);
}

bool CaptureCore::canSendAgain(JobId id) const {
    if (!store_ || !jobs_.contains(id))
        return false;
    const auto stored = store_->find(jobs_.at(id).storeKey);
    return stored && (stored->state == JobState::Refused || stored->state == JobState::Failed);
}

void CaptureCore::sendAgain(JobId id) {
    if (!store_ || !jobs_.contains(id))
        return;
    const std::int64_t key = jobs_.at(id).storeKey;
    store_->sendAgain(key);
    if (const auto stored = store_->find(key))
        show(id, *stored);
    sender_->wake();
}

} // namespace quorva
