#include "core/capture_core.h"

#include "net/ascii.h"
#include "net/url.h"

#include "platform/date_format.h"
#include "platform/percent_escape.h"
#include "platform/utf8.h"
#include "store/retry_schedule.h"
#include "upload/http_transport.h"
#include "upload/invoice_extraction.h"
#include "upload/report_upload.h"

#include <exception>
#include <functional>
#include <string_view>

namespace quorva {

namespace {

constexpr int kHistoryDays = 7;
constexpr int kKeptDays = 90;
constexpr std::chrono::milliseconds kRetryUnrecorded{30000};
// A search shows at most this many jobs, the newest.
constexpr int kSearchLimit = 500;

std::size_t bytesDigest(std::string_view bytes) {
    return std::hash<std::string_view>{}(bytes);
}

} // namespace

void CaptureCore::Events::insertTop(const std::string& line) {
    observer_.eventAdded(line);
    log_.write(line);
}

CaptureCore::CaptureCore(Services services, CaptureObserver& observer, CaptureSettings settings)
    : files_(services.files), clock_(services.clock), locale_(services.locale),
      dataFolder_(std::move(services.dataFolder)), database_(dataFolder_ + "\\quorva.db"),
      postJobChanged_(std::move(services.postJobChanged)),
      makeTransport_(std::move(services.makeTransport)), observer_(observer),
      settings_(std::move(settings)), dailyLog_(files_, clock_), events_(observer_, dailyLog_),
      changes_(jobs_, events_, clock_, locale_, files_), poll_(jobs_, files_) {
}

CaptureCore::~CaptureCore() {
    close();
}

CaptureOpening CaptureCore::open(const std::string& startLine) {
    if (isOpen())
        return {};
    if (!logStarted_) {
        logStarted_ = true;
        dailyLog_.open(dataFolder_ + "\\logs");
        dailyLog_.prune();
        if (!startLine.empty())
            dailyLog_.write(startLine);
        warnOfPlainPassword();
    }
    std::string news;
    try {
        try {
            start();
        } catch (const std::exception& e) {
            close();
            if (storeTrouble(e) != StoreTrouble::Corrupt)
                throw;
            news = setStoreAside(e.what());
            start();
        }
    } catch (const std::exception& e) {
        // Nothing of a start that failed is left running: no sender without its store.
        close();
        return notOpen(e);
    }
    if (!trouble_.empty()) {
        trouble_.clear();
        observer_.statusChanged("");
    }
    return {CaptureOpening::Result::Open, news};
}

void CaptureCore::start() {
    files_.createFolders(dataFolder_ + "\\outbox");
    store_ = std::make_unique<JobStore>(toUtf8(locale_.ansiToWide(nativePath(database_))));
    if (asideLastWrite_) {
        store_->markWatched(*asideLastWrite_);
        asideLastWrite_.reset();
    }
    distrustIfFoundUnsafe();
    outbox_ = std::make_unique<Outbox>(files_, dataFolder_ + "\\outbox");
    lastJobNumber_ = store_->lastJobNumber();
    forgetOldJobs();
    recoverOrphanCopies();
    const std::vector<StoredJob> history = store_->listed(addDays(clock_.now(), -kHistoryDays));

    std::unique_ptr<Transport> transport =
        makeTransport_ ? makeTransport_() : std::make_unique<HttpTransport>(files_, clock_);
    sender_ = std::make_unique<Sender>(*store_, *outbox_, clock_, std::move(transport),
                                       settings_.sender, postJobChanged_);
    sender_->start();
    // Listed last, once nothing can fail: a start tried again lists nothing twice.
    for (const StoredJob& stored : history)
        jobs_.add(historyJob(stored));
}

CaptureOpening CaptureCore::notOpen(const std::exception& failure) {
    const std::string reason = failure.what();
    CaptureOpening opening{CaptureOpening::Result::Waiting, {}};
    std::string text;
    switch (storeTrouble(failure)) {
    case StoreTrouble::Busy:
        text = "Base des travaux " + database_ +
               " occupée par un autre programme : la capture attend qu'elle se libère (" + reason +
               ")";
        break;
    case StoreTrouble::DiskFull:
        text = "Disque plein : la base des travaux " + database_ +
               " ne peut pas s'ouvrir, la capture attend de la place (" + reason + ")";
        break;
    case StoreTrouble::NewerSchema:
        // Set aside, it would be lost to the version that wrote it; read, it could be misread.
        opening.result = CaptureOpening::Result::Refused;
        text = "La base des travaux " + database_ +
               " vient d'une version plus récente de Quorva : la capture ne démarre pas. "
               "Réinstaller cette version";
        break;
    case StoreTrouble::Corrupt:
    case StoreTrouble::Other:
        text = "Impossible d'ouvrir la base des travaux " + database_ + " : " + reason +
               " ; la capture attend";
        break;
    }
    if (text != trouble_) {
        trouble_ = text;
        opening.news = text;
        dailyLog_.write(text);
        observer_.statusChanged(text);
    }
    return opening;
}

std::string CaptureCore::setStoreAside(const std::string& reason) {
    // Whatever it recorded was recorded before its last write: a spool file written since then is
    // unknown to it, and new to the store that replaces it. (Its own start of watching would make
    // every kept file new to an empty store, and send them all again.)
    for (const DirectoryEntry& entry : files_.list(dataFolder_)) {
        if ((equalsNoCase(entry.name, "quorva.db") || equalsNoCase(entry.name, "quorva.db-wal")) &&
            (!asideLastWrite_ || entry.lastWrite > *asideLastWrite_))
            asideLastWrite_ = entry.lastWrite;
    }
    // Set aside, not deleted: it may still tell what was sent. The copies it named carry no proof
    // in the new store, so they are left in the outbox, each told once in the log.
    const DateTime now = clock_.now();
    const std::string aside =
        database_ + "." + std::to_string(now.year * 10000 + now.month * 100 + now.day) + "-" +
        std::to_string(now.hour * 10000 + now.minute * 100 + now.second) + ".illisible";
    for (const char* part : {"", "-wal", "-shm"}) {
        if (files_.sizeBySearch(database_ + part) >= 0)
            files_.replaceFile(database_ + part, aside + part);
    }
    const std::string text = "Impossible d'ouvrir la base des travaux " + database_ + " : " +
                             reason + ". Elle est mise de côté sous " + aside +
                             " et une nouvelle base est créée ; ses copies restent dans la boîte "
                             "d'envoi, à vérifier";
    dailyLog_.write(text);
    return text;
}

void CaptureCore::distrustIfFoundUnsafe() {
    const std::string marker = dataFolder_ + "\\" + kUnverifiedMarker;
    if (files_.sizeBySearch(marker) < 0)
        return;
    // Removed once the store holds the change: a cut in between distrusts again, harmlessly.
    store_->distrustCopies();
    files_.removeFile(marker);
    dailyLog_.write("Base des travaux trouvée dans un dossier que d'autres pouvaient modifier : "
                    "ses factures en attente sont à vérifier");
}

void CaptureCore::close() {
    if (sender_)
        sender_->stop();
    sender_.reset();
    outbox_.reset();
    store_.reset();
}

void CaptureCore::applySettings(const CaptureSettings& settings) {
    const bool serverChanged = settings.sender.serverUrl != settings_.sender.serverUrl;
    settings_ = settings;
    if (serverChanged)
        warnOfPlainPassword();
    if (!sender_)
        return;
    sender_->applySettings(settings_.sender);
    // Jobs still waiting go to the new address.
    if (serverChanged)
        sender_->wake();
}

void CaptureCore::warnOfPlainPassword() {
    const std::string& address = settings_.sender.serverUrl;
    const Url url = parseUrl(address);
    if (url.password.empty() || !equalsNoCase(url.protocol, "http"))
        return;
    dailyLog_.write("Attention : le mot de passe de l'adresse du serveur " +
                    withoutCredentials(address) +
                    " circule en clair (http://) ; préférer https://");
}

void CaptureCore::forgetOldJobs() {
    for (const StoredJob& job : store_->settledBefore(addDays(clock_.now(), -kKeptDays))) {
        // The path is the record's: told as it is only once it cannot break the log's line.
        const std::string copy = percentEscaped(job.copyPath);
        try {
            // The copy goes first: a copy left without its record would be taken for a job. A
            // path that is not one of the outbox's copies is someone else's file: left alone.
            if (outbox_->holds(job.copyPath))
                files_.removeFile(job.copyPath);
            else if (!job.copyPath.empty() && files_.sizeBySearch(job.copyPath) >= 0)
                dailyLog_.write("Copie " + copy + " laissée : pas un fichier de la boîte d'envoi");
            store_->forget(job.key);
        } catch (const std::exception& e) {
            dailyLog_.write("Copie " + copy + " non supprimée : " + e.what());
        }
    }
}

void CaptureCore::recoverOrphanCopies() {
    const DateTime storeMade = store_->createdAt();
    for (const Outbox::Orphan& orphan : outbox_->orphans(store_->copyPaths())) {
        const std::string name = orphan.path.substr(outbox_->folder().size() + 1);
        try {
            // Only a copy this store vouched for before writing it is taken in; anything else
            // was put there by someone else, and is neither read nor sent.
            if (!store_->wroteCopy(name) || !Outbox::isCopyName(name)) {
                if (store_->noteStrangeCopy(name))
                    dailyLog_.write("Fichier " + orphan.path +
                                    " laissé dans la boîte d'envoi : Quorva ne l'a pas écrit");
                continue;
            }
            const std::string text = files_.readShared(orphan.path);
            const auto fields = extractInvoice(text, locale_);
            StoredJob job;
            job.spoolName = Outbox::spoolNameOf(orphan.path);
            job.capturedAt = clock_.toLocal(orphan.written);
            // The copy was made after the spool file's last write: a file no newer is this job.
            job.spoolWritten = orphan.written;
            job.copyPath = orphan.path;
            // The file part is named as the spooler named it, not as the outbox did.
            job.spoolPath = settings_.spoolFolder + "\\" + job.spoolName;
            // Copied since this store was made: the program ended between the copy and its
            // record, so the job never went. Older, its record was in a store that was lost, and
            // whether it went cannot be known.
            job.state = !fields                      ? JobState::NotAnInvoice
                        : orphan.written > storeMade ? JobState::Waiting
                                                     : JobState::ToCheck;
            if (fields) {
                const UploadRequest request =
                    prepareUpload(orphan.path, job.spoolName, settings_.siteName, nextJobNumber(),
                                  job.capturedAt, locale_);
                // The date its job was given when the copy was made; a copy of an earlier store
                // has only its own time to go by.
                const std::string recorded = store_->copyPrintDate(name);
                job.printDate = recorded.empty() ? request.printDate : recorded;
                job.site = request.site;
                job.jobNumber = request.jobNumber;
                job.customer = fields->name;
                job.registration = fields->registration;
                job.chassis = fields->chassis;
                job.document = fields->document.value_or(L"");
            }
            store_->add(job);
            dailyLog_.write(job.spoolName + " : copie retrouvée dans la boîte d'envoi (" +
                            jobStateText(job) + ")");
        } catch (const std::exception& e) {
            dailyLog_.write("Copie " + orphan.path + " illisible : " + e.what());
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

bool CaptureCore::watchingStarted(const std::string& folder) {
    if (!store_)
        return false;
    const std::optional<DateTime> since = store_->watchedSince();
    // Older files than the store keeps may have been known and forgotten.
    const DateTime kept = addDays(clock_.utcNow(), 1 - kKeptDays);
    bool added = false;
    if (since) {
        added = changes_.startWatching(folder, [&](const DirectoryEntry& entry) {
            return entry.lastWrite > *since && entry.lastWrite > kept &&
                   !store_->knows(locale_.lowerAnsi(entry.name), entry.lastWrite);
        });
    } else {
        // The first start: the files there are the kept jobs of before.
        changes_.startWatching(folder);
    }
    store_->markWatched(clock_.utcNow());
    return added;
}

bool CaptureCore::onChanges(const unsigned char* buffer, std::size_t bufferSize,
                            unsigned long transferred, const std::string& folder) {
    return changes_.process(buffer, bufferSize, transferred, folder);
}

std::string CaptureCore::onFolderLost(const std::string& reason) {
    std::string text = "Dossier du spouleur inaccessible : " + reason;
    observer_.statusChanged(text);
    addEvent(text);
    return text;
}

void CaptureCore::addEvent(const std::string& text) {
    events_.insertTop(eventLine(clock_.now(), locale_, text));
}

bool CaptureCore::onFolderBack(const std::string& folder) {
    observer_.statusChanged("");
    return changes_.folderBack(folder);
}

void CaptureCore::pollPass(const std::function<void()>& enableTimer) {
    retryUnrecorded();
    bool enabled = false;
    const auto enable = [&] {
        enabled = true;
        enableTimer();
    };
    poll_.pass(
        settings_.spoolFolder,
        [this](JobId id, const DateTime& lastWrite) {
            const std::string path = spoolPathOf(jobs_.at(id), settings_.spoolFolder);
            Unrecorded pending{id, path, lastWrite, std::nullopt,
                               clock_.elapsed() + kRetryUnrecorded};
            if (!copyAndRecord(pending))
                unrecorded_.push_back(std::move(pending));
        },
        enable, [this](JobId id) { onVanished(id); });
    // The ticks go on while a job waits to be recorded.
    if (!enabled && !unrecorded_.empty())
        enableTimer();
}

void CaptureCore::onVanished(JobId id) {
    // Nothing of it was read: only the user can tell whether it was an invoice to send again.
    const std::string text = "À vérifier : fichier disparu avant d'être lu";
    jobs_.update(id, [&](Job& job) { job.stateText = text; });
    const std::string line = jobs_.at(id).spoolName + " : " + text;
    addEvent(line);
    observer_.jobVanished(line);
}

void CaptureCore::retryUnrecorded() {
    const auto now = clock_.elapsed();
    for (auto it = unrecorded_.begin(); it != unrecorded_.end();) {
        if (it->due > now) {
            ++it;
        } else if (copyAndRecord(*it)) {
            it = unrecorded_.erase(it);
        } else {
            it->due = now + kRetryUnrecorded;
            ++it;
        }
    }
}

bool CaptureCore::copyAndRecord(Unrecorded& pending) {
    const std::string& spoolPath = pending.spoolPath;
    const DateTime& lastWrite = pending.lastWrite;
    const std::string name = jobs_.at(pending.id).spoolName;
    std::string made;
    try {
        if (!pending.bytes)
            pending.bytes = files_.readShared(spoolPath);
        if (!goesOnFromRecorded(jobs_.at(pending.id), *pending.bytes))
            pending.id = startAnotherJob(pending.id);
        const JobId id = pending.id;
        // The copy first: what is read and what is sent are then the same bytes.
        const Outbox::Copy copy =
            outbox_->keep(*pending.bytes, name, printDateText(clock_.toLocal(lastWrite), locale_),
                          clock_.now(), *store_);
        made = copy.path;
        bool invoice = false;
        jobs_.update(id, [&](Job& job) { invoice = extractIntoJob(job, copy.bytes, locale_); });
        if (!invoice) {
            files_.removeFile(copy.path);
            store_->forgetCopy(copy.path);
            record(id, spoolPath, lastWrite, {{}, copy.bytes}, false);
        } else {
            record(id, spoolPath, lastWrite, copy, true);
        }
        return true;
    } catch (const std::exception& e) {
        // A full disk or a store held by another: the job stays on show and is tried again. A
        // copy left without its record would be taken for a job at the next start, and sent
        // beside the one the next try makes.
        try {
            if (!made.empty()) {
                files_.removeFile(made);
                store_->forgetCopy(made);
            }
        } catch (const std::exception&) {
        }
        const DateTime retry =
            addSeconds(clock_.now(), static_cast<int>(kRetryUnrecorded.count() / 1000));
        const std::string state = std::string("Échec : pas enregistrée (") + e.what() +
                                  ") — nouvel essai à " + formatPicture(retry, "HH:mm");
        jobs_.update(pending.id, [&](Job& job) { job.stateText = state; });
        dailyLog_.write(name + " : " + state);
        return false;
    }
}

void CaptureCore::record(JobId id, const std::string& spoolPath, const DateTime& lastWrite,
                         const Outbox::Copy& copy, bool invoice) {
    const Job& job = jobs_.at(id);
    StoredJob stored;
    stored.spoolName = job.spoolName;
    stored.spoolPath = spoolPath;
    stored.capturedAt = job.changedAt.year > 0 ? job.changedAt : clock_.now();
    stored.state = invoice ? JobState::Waiting : JobState::NotAnInvoice;
    // A version that is no invoice never stands in for one that is.
    stored.replaces = invoice ? job.storeKey : 0;
    stored.spoolWritten = lastWrite;
    if (invoice) {
        const UploadRequest request =
            prepareUpload(spoolPath, stored.spoolName, settings_.siteName, nextJobNumber(),
                          clock_.toLocal(lastWrite), locale_);
        stored.printDate = request.printDate;
        stored.site = request.site;
        stored.jobNumber = request.jobNumber;
        stored.customer = job.customer;
        stored.registration = job.registration;
        stored.chassis = job.chassis;
        stored.document = job.document;
        stored.copyPath = copy.path;
    }
    stored.key = store_->add(stored);
    // Recorded: nothing after this may fail the record, or a retry would record the job twice.
    try {
        if (stored.replaces != 0 && store_->replaceUnsent(stored.replaces))
            dailyLog_.write(stored.spoolName + " : sa version incomplète n'est pas envoyée, la "
                                               "version complète la remplace");
    } catch (const std::exception& e) {
        // Both versions may go then; the complete one says which it replaces.
        dailyLog_.write(stored.spoolName + " : version incomplète non remplacée : " + e.what());
    }
    jobs_.update(id, [&](Job& changed) {
        changed.storeKey = stored.key;
        changed.recorded = Job::RecordedBytes{copy.bytes.size(), bytesDigest(copy.bytes)};
    });
    show(id, stored);
    if (invoice)
        sender_->wake();
}

bool CaptureCore::goesOnFromRecorded(const Job& job, std::string_view bytes) {
    return !job.recorded ||
           (bytes.size() >= job.recorded->size &&
            bytesDigest(bytes.substr(0, job.recorded->size)) == job.recorded->digest);
}

JobId CaptureCore::startAnotherJob(JobId id) {
    // The spooler gave the name of a recorded job to another file: the recorded one keeps its
    // row and its way to the server, and the file starts a job of its own.
    // The file's readings go on; what was read and recorded of the earlier file stays with it.
    Job next = jobs_.at(id);
    next.customer = next.registration = next.chassis = next.document = {};
    next.reportId = next.stateText = {};
    next.storeKey = 0;
    next.recorded.reset();
    return jobs_.add(std::move(next));
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

std::optional<JobState> CaptureCore::onJobChanged(std::int64_t key) {
    if (!store_)
        return std::nullopt;
    const auto stored = store_->find(key);
    const JobId id = jobs_.findByStoreKey(key);
    if (stored && id != kNoJob)
        show(id, *stored);
    if (!stored)
        return std::nullopt;
    if (stored->state != JobState::Sent || stored->replaces == 0)
        return stored->state;
    // The spooler's pause ended a version early: the event list says what replaces it.
    std::string line =
        "Version complète de " + stored->spoolName + " envoyée : rapport " + stored->reportId;
    const auto earlier = store_->find(stored->replaces);
    if (earlier && !earlier->reportId.empty())
        line += " (remplace " + earlier->reportId + ")";
    addEvent(line);
    return stored->state;
}

bool CaptureCore::canSendAgain(JobId id) const {
    if (!store_ || !jobs_.contains(id))
        return false;
    const auto stored = store_->find(jobs_.at(id).storeKey);
    return stored && quorva::canSendAgain(stored->state);
}

void CaptureCore::sendAgain(JobId id) {
    if (!isOpen() || !jobs_.contains(id))
        return;
    const std::int64_t key = jobs_.at(id).storeKey;
    store_->sendAgain(key);
    if (const auto stored = store_->find(key))
        show(id, *stored);
    sender_->wake();
}

} // namespace quorva
