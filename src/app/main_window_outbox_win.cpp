// The main window's part of the outbox: the job store under LOCALAPPDATA, the copies of settled
// spool files, the sender thread that owns the network, the job list's history and the daily
// log. The window records a job before any byte of it goes on the wire and never waits on the
// server; the sender tells it by message what became of each job.

#include "app/main_window.h"
#include "app/start_line.h"
#include "platform/date_format.h"
#include "platform/utf8.h"
#include "upload/invoice_extraction.h"

#include <exception>

namespace quorva {

namespace {

constexpr int kHistoryDays = 7;
constexpr int kKeptDays = 90;

} // namespace

void MainWindow::openJobStore() {
    dailyLog.open(dataFolder_ + "\\logs");
    dailyLog.prune();
    dailyLog.write(startLine(currentRunFacts(), settings_));
    const std::string database = dataFolder_ + "\\quorva.db";
    try {
        files.createFolders(dataFolder_ + "\\outbox");
        jobStore = std::make_unique<JobStore>(toUtf8(locale.ansiToWide(database)));
    } catch (const std::exception& e) {
        const std::string text = "Impossible d'ouvrir la base des travaux " + database + " : " +
                                 e.what() + ". Les travaux restent en mémoire jusqu'à la fermeture";
        itAlerts.storeUnavailable(text);
        showErrorBox(boxes, hwnd(), text);
        jobStore = std::make_unique<JobStore>(":memory:");
    }
    outbox = std::make_unique<Outbox>(files, dataFolder_ + "\\outbox");
    reportUpload.continueJobNumbers(jobStore->lastJobNumber());
    for (const std::string& copy :
         jobStore->removeCapturedBefore(addDays(clock.now(), -kKeptDays))) {
        try {
            files.removeFile(copy);
        } catch (const std::exception& e) {
            dailyLog.write("Copie " + copy + " non supprimée : " + e.what());
        }
    }
    recoverOrphanCopies();
    showHistory();

    HWND window = hwnd();
    sender = std::make_unique<Sender>(
        *jobStore, clock,
        [this](const UploadRequest& request, const std::string& url) {
            return reportUpload.send(request, url);
        },
        [window](std::int64_t key) {
            PostMessageW(window, kJobChangedMessage, 0, static_cast<LPARAM>(key));
        });
    sender->setServerUrl(serverUrl());
    sender->start();
}

void MainWindow::closeJobStore() {
    if (sender)
        sender->stop([this] { httpClient.interrupt(); });
    sender.reset();
}

void MainWindow::recoverOrphanCopies() {
    // The program ended between a copy and its record: the copy is the job.
    for (const std::string& copy : outbox->orphans(jobStore->copyPaths())) {
        try {
            const auto fields = extractInvoice(files.readShared(copy), locale);
            StoredJob job;
            job.spoolName = Outbox::spoolNameOf(copy);
            job.capturedAt = clock.now();
            job.state = fields ? JobState::Waiting : JobState::NotAnInvoice;
            job.copyPath = copy;
            if (fields) {
                const UploadRequest request = reportUpload.prepare(copy, job.spoolName, siteName());
                job.spoolPath = copy;
                job.printDate = request.printDate;
                job.site = request.site;
                job.jobNumber = request.jobNumber;
                job.customer = fields->name;
                job.registration = fields->registration;
                job.chassis = fields->chassis;
                job.document = fields->document.value_or(L"");
            }
            jobStore->add(job);
            dailyLog.write(job.spoolName + " : copie retrouvée dans la boîte d'envoi");
        } catch (const std::exception& e) {
            dailyLog.write("Copie " + copy + " illisible : " + e.what());
        }
    }
}

void MainWindow::showHistory() {
    for (const StoredJob& job : jobStore->capturedSince(addDays(clock.now(), -kHistoryDays))) {
        const int row = jobTable.appendRow();
        jobTable.setCell(colChangeTime, row, locale.ansiToWide(formatC(job.capturedAt, locale)));
        jobTable.setCell(colFileName, row, locale.ansiToWide(job.spoolName));
        jobTable.setCell(colSteadyReadings, row, std::to_wstring(kDoneReadings));
        jobTable.setCell(colCustomer, row, job.customer);
        jobTable.setCell(colRegistration, row, job.registration);
        jobTable.setCell(colChassis, row, job.chassis);
        jobTable.setCell(colDocument, row, job.document);
        jobTable.setLastChange(row, job.capturedAt);
        jobTable.setJobKey(row, job.key);
        jobTable.markHistory(row);
        jobTable.setCell(colReportId, row, locale.ansiToWide(job.reportId));
        jobTable.setCell(colState, row, locale.ansiToWide(jobStateText(job)));
    }
}

void MainWindow::recordJob(int row, const std::string& path, bool invoice) {
    StoredJob job;
    job.spoolName = locale.wideToAnsi(jobTable.cell(colFileName, row));
    job.spoolPath = path;
    const DateTime changed = jobTable.lastChange(row);
    job.capturedAt = changed.year > 0 ? changed : clock.now();
    job.state = invoice ? JobState::Waiting : JobState::NotAnInvoice;
    if (invoice) {
        const UploadRequest request = reportUpload.prepare(path, job.spoolName, siteName());
        job.printDate = request.printDate;
        job.site = request.site;
        job.jobNumber = request.jobNumber;
        job.customer = jobTable.cell(colCustomer, row);
        job.registration = jobTable.cell(colRegistration, row);
        job.chassis = jobTable.cell(colChassis, row);
        job.document = jobTable.cell(colDocument, row);
        try {
            job.copyPath = outbox->keep(path, job.spoolName, clock.now());
        } catch (const std::exception& e) {
            // Without a copy the spool file itself is sent, while the spooler keeps it.
            dailyLog.write(job.spoolName + " : pas de copie dans la boîte d'envoi : " + e.what());
        }
    }
    const std::int64_t earlier = jobTable.jobKey(row);
    job.key = jobStore->add(job);
    if (earlier != 0)
        replacedJobs_[job.key] = earlier;
    jobTable.setJobKey(row, job.key);
    showJob(row, job);
    if (invoice)
        sender->wake();
}

void MainWindow::showJob(int row, const StoredJob& job) {
    const std::string state = jobStateText(job);
    jobTable.setCell(colReportId, row, locale.ansiToWide(job.reportId));
    jobTable.setCell(colState, row, locale.ansiToWide(state));
    dailyLog.write(job.spoolName + " : " + state +
                   (job.reportId.empty() ? std::string() : " (rapport " + job.reportId + ")"));
}

void MainWindow::onJobChanged(std::int64_t key) {
    const auto job = jobStore->find(key);
    const int row = jobTable.findByJobKey(key);
    if (job && row >= 0)
        showJob(row, *job);
    if (job)
        itAlerts.jobState(job->state);
    const auto replaced = replacedJobs_.find(key);
    if (!job || job->state != JobState::Sent || replaced == replacedJobs_.end())
        return;
    // The spooler's pause let an incomplete job go first: the event list says what replaces it.
    std::string line =
        "Version complète de " + job->spoolName + " envoyée : rapport " + job->reportId;
    const auto earlier = jobStore->find(replaced->second);
    if (earlier && !earlier->reportId.empty())
        line += " (remplace " + earlier->reportId + ")";
    eventLog_.insertTop(eventLine(clock.now(), locale, line));
    replacedJobs_.erase(replaced);
}

void MainWindow::onResendItem() {
    if (hoverRow < 0)
        return;
    const std::int64_t key = jobTable.jobKey(hoverRow);
    jobStore->sendAgain(key);
    if (const auto job = jobStore->find(key))
        showJob(hoverRow, *job);
    sender->wake();
}

} // namespace quorva
