#include "store/job_store.h"

#include "platform/date_format.h"

#include "platform/error.h"
#include "platform/system_error.h"
#include "platform/utf8.h"

#include <sqlite3.h>

#include <cstdio>

namespace quorva {

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS jobs (
    key INTEGER PRIMARY KEY,
    spool_name TEXT NOT NULL,
    spool_path TEXT NOT NULL,
    captured_at TEXT NOT NULL,
    print_date TEXT NOT NULL,
    site TEXT NOT NULL,
    job_number INTEGER NOT NULL,
    customer TEXT NOT NULL,
    registration TEXT NOT NULL,
    chassis TEXT NOT NULL,
    document TEXT NOT NULL,
    state INTEGER NOT NULL,
    report_id TEXT NOT NULL DEFAULT '',
    attempts INTEGER NOT NULL DEFAULT 0,
    next_attempt TEXT NOT NULL DEFAULT '',
    last_error TEXT NOT NULL DEFAULT '',
    maybe_duplicate INTEGER NOT NULL DEFAULT 0,
    in_flight INTEGER NOT NULL DEFAULT 0,
    copy_path TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS jobs_by_state ON jobs (state, next_attempt);
CREATE INDEX IF NOT EXISTS jobs_by_capture ON jobs (captured_at);
)";

// Version 2: the link between a job's versions, and when the store was made and last watched.
// Local time, as version 2 wrote it: version 5 takes it to UTC with the rest.
constexpr const char* kSchema2 = R"(
CREATE TABLE IF NOT EXISTS store (name TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT OR REPLACE INTO store VALUES
    ('created_at', strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'));
)";

// Version 3: the names of the copies this store wrote, each recorded before its copy is written
// (`written` 1), and of the files found in the outbox without that proof (`written` 0), so that
// they are told once. A table of that name in an earlier store is not this store's record.
constexpr const char* kSchema3 = R"(
DROP TABLE IF EXISTS copies;
CREATE TABLE copies (name TEXT PRIMARY KEY, written INTEGER NOT NULL);
)";

// Copies without a proof of writing: the store's unsettled jobs with them are left to the user.
// A job in flight when the program ended keeps its flag of a possible duplicate.
std::string distrustCopiesSql() {
    return "DELETE FROM copies;"
           "UPDATE jobs SET state = " +
           sqlState(JobState::ToCheck) +
           ", last_error = 'copie sans preuve que Quorva l''a écrite', "
           "maybe_duplicate = max(maybe_duplicate, in_flight), in_flight = 0 WHERE state IN " +
           sqlStates(isPending) + ";";
}

// Version 4: the files known at each start are looked up by name.
constexpr const char* kSchema4 = R"(
CREATE INDEX IF NOT EXISTS jobs_by_spool_name ON jobs (spool_name);
)";

// Version 5: the dates compared with file times are in UTC, as file times now are, and each copy
// keeps the print date of its job. The earlier versions wrote local times; each is read back by
// the zone's rules for its own date (SQLite's 'utc', which asks the system, Windows included), so
// a summer date and a winter date both come out right whatever the season of the upgrade. Only
// the autumn hour that the clock reads twice is ambiguous: a file of that night hour may look an
// hour older or newer once, against the whole store an hour off every spring and autumn before.
// Rows without the file's write time (the oldest stores, recovered copies) take their capture
// time, which the lookup of known files used in its place until now.
constexpr const char* kSchema5 = R"(
UPDATE jobs SET spool_written = captured_at WHERE spool_written NOT GLOB '[1-9]*';
UPDATE jobs SET spool_written = strftime('%Y-%m-%d %H:%M:%f', spool_written, 'utc')
    WHERE spool_written GLOB '[1-9]*';
UPDATE store SET value = strftime('%Y-%m-%d %H:%M:%f', value, 'utc')
    WHERE name IN ('created_at', 'watched_since') AND value GLOB '[1-9]*';
ALTER TABLE copies ADD COLUMN print_date TEXT NOT NULL DEFAULT '';
)";

// How long a statement waits for another connection's lock: while opening, briefly, since the
// owner tries again; afterwards long enough for the other thread's transaction.
constexpr int kOpeningWaitMs = 1000;
constexpr int kBusyWaitMs = 5000;

constexpr const char* kColumns =
    "key, spool_name, spool_path, captured_at, print_date, site, job_number, customer, "
    "registration, chassis, document, state, report_id, attempts, next_attempt, last_error, "
    "maybe_duplicate, copy_path, replaces, spool_written";

// Dates as sortable text: "2026-12-08 14:05:09.250".
std::string dateText(const DateTime& d) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year, d.month, d.day,
                  d.hour, d.minute, d.second, d.millisecond);
    return text;
}

DateTime parseDate(const std::string& text) {
    DateTime d;
    std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &d.year, &d.month, &d.day, &d.hour, &d.minute,
                &d.second, &d.millisecond);
    return d;
}

// The store defines no trigger and no view: any in the file was planted there, and would run with
// the service's rights at the next write.
void dropPlanted(sqlite::Database& db) {
    std::vector<std::string> drops;
    {
        sqlite::Statement planted(
            db, "SELECT type, name FROM sqlite_schema WHERE type IN ('trigger', 'view')");
        while (planted.step()) {
            std::string name;
            for (const char c : planted.text(1))
                name += c == '"' ? std::string("\"\"") : std::string(1, c);
            drops.push_back("DROP " + planted.text(0) + " IF EXISTS \"" + name + "\"");
        }
    }
    for (const std::string& drop : drops)
        db.exec(drop);
}

StoredJob readJob(const sqlite::Statement& row) {
    StoredJob job;
    job.key = row.integer(0);
    job.spoolName = row.text(1);
    job.spoolPath = row.text(2);
    job.capturedAt = parseDate(row.text(3));
    job.printDate = row.text(4);
    job.site = row.text(5);
    job.jobNumber = static_cast<std::int32_t>(row.integer(6));
    job.customer = fromUtf8(row.text(7));
    job.registration = fromUtf8(row.text(8));
    job.chassis = fromUtf8(row.text(9));
    job.document = fromUtf8(row.text(10));
    job.state = static_cast<JobState>(row.integer(11));
    job.reportId = row.text(12);
    job.attempts = static_cast<int>(row.integer(13));
    job.nextAttempt = parseDate(row.text(14));
    job.lastError = row.text(15);
    job.maybeDuplicate = row.integer(16) != 0;
    job.copyPath = row.text(17);
    job.replaces = row.integer(18);
    job.spoolWritten = parseDate(row.text(19));
    return job;
}

} // namespace

StoreTrouble storeTrouble(const std::exception& failure) {
    if (dynamic_cast<const sqlite::NewerSchema*>(&failure) != nullptr)
        return StoreTrouble::NewerSchema;
    const auto* sqliteFailure = dynamic_cast<const sqlite::Failure*>(&failure);
    if (sqliteFailure == nullptr)
        return StoreTrouble::Other;
    switch (sqliteFailure->code() & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return StoreTrouble::Busy;
    case SQLITE_FULL:
        return StoreTrouble::DiskFull;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return StoreTrouble::Corrupt;
    default:
        break;
    }
    // A file the system refused to open or write: the reason is underneath.
    const auto system = static_cast<unsigned long>(sqliteFailure->systemCode());
    if (isSharingRefusal(system))
        return StoreTrouble::Busy;
    if (isDiskFull(system))
        return StoreTrouble::DiskFull;
    return StoreTrouble::Other;
}

JobStore::JobStore(const std::string& utf8Path)
    : db_(utf8Path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
          "Base des travaux : ") {
    db_.busyTimeout(kOpeningWaitMs);
    db_.exec("PRAGMA journal_mode=WAL");
    db_.exec("PRAGMA synchronous=FULL");
    dropPlanted(db_);
    // Version 1 is the first schema; its IF NOT EXISTS also takes in the stores written before
    // the schema had a version.
    db_.migrate({[this] { db_.exec(kSchema); },
                 [this] {
                     // A store that lost its version number may have the column already.
                     sqlite::Statement column(
                         db_, "SELECT 1 FROM pragma_table_info('jobs') WHERE name = 'replaces'");
                     if (!column.step())
                         db_.exec("ALTER TABLE jobs ADD COLUMN replaces INTEGER NOT NULL DEFAULT 0;"
                                  "ALTER TABLE jobs ADD COLUMN spool_written TEXT NOT NULL "
                                  "DEFAULT ''");
                     db_.exec(kSchema2);
                 },
                 [this] {
                     // An earlier store wrote its copies without proof.
                     db_.exec(kSchema3);
                     db_.exec(distrustCopiesSql());
                 },
                 [this] { db_.exec(kSchema4); }, [this] { db_.exec(kSchema5); }});
    // The program ended while these were on the wire: their answer was never evaluated.
    db_.exec("UPDATE jobs SET in_flight = 0, maybe_duplicate = 1, state = " +
             sqlState(JobState::Waiting) + " WHERE in_flight = 1");
    db_.busyTimeout(kBusyWaitMs);
}

JobStore::~JobStore() = default;

std::int64_t JobStore::add(const StoredJob& job) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement insert(db_,
                             "INSERT INTO jobs (spool_name, spool_path, captured_at, print_date, "
                             "site, job_number, customer, registration, chassis, document, state, "
                             "report_id, last_error, copy_path, replaces, spool_written) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, job.spoolName)
        .bind(2, job.spoolPath)
        .bind(3, dateText(job.capturedAt))
        .bind(4, job.printDate)
        .bind(5, job.site)
        .bind(6, std::int64_t{job.jobNumber})
        .bind(7, toUtf8(job.customer))
        .bind(8, toUtf8(job.registration))
        .bind(9, toUtf8(job.chassis))
        .bind(10, toUtf8(job.document))
        .bind(11, static_cast<std::int64_t>(job.state))
        .bind(12, job.reportId)
        .bind(13, job.lastError)
        .bind(14, job.copyPath)
        .bind(15, job.replaces)
        .bind(16, dateText(job.spoolWritten))
        .step();
    return db_.lastInsertId();
}

std::vector<StoredJob> JobStore::select(const std::string& where,
                                        const std::vector<std::string>& values) const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_, std::string("SELECT ") + kColumns + " FROM jobs " + where);
    for (size_t i = 0; i < values.size(); ++i)
        query.bind(static_cast<int>(i + 1), values[i]);
    std::vector<StoredJob> jobs;
    while (query.step())
        jobs.push_back(readJob(query));
    return jobs;
}

std::optional<StoredJob> JobStore::find(std::int64_t key) const {
    auto jobs = select("WHERE key = ?", {std::to_string(key)});
    return jobs.empty() ? std::nullopt : std::optional(std::move(jobs.front()));
}

std::optional<StoredJob> JobStore::nextWaiting() const {
    auto jobs =
        select("WHERE state = " + sqlState(JobState::Waiting) + " ORDER BY key LIMIT 1", {});
    return jobs.empty() ? std::nullopt : std::optional(std::move(jobs.front()));
}

std::vector<StoredJob> JobStore::failedJobs() const {
    return select("WHERE state = " + sqlState(JobState::Failed) + " ORDER BY key", {});
}

DateTime JobStore::createdAt() const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_, "SELECT value FROM store WHERE name = 'created_at'");
    return query.step() ? parseDate(query.text(0)) : DateTime{};
}

std::optional<DateTime> JobStore::watchedSince() const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_, "SELECT value FROM store WHERE name = 'watched_since'");
    if (!query.step())
        return std::nullopt;
    return parseDate(query.text(0));
}

void JobStore::markWatched(const DateTime& utcNow) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement(db_, "INSERT OR IGNORE INTO store VALUES ('watched_since', ?)")
        .bind(1, dateText(utcNow))
        .step();
}

void JobStore::update(const std::string& sql, std::int64_t key, const std::string& text) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement statement(db_, sql);
    statement.bind(1, key);
    if (statement.parameterCount() > 1)
        statement.bind(2, text);
    statement.step();
}

bool JobStore::claim(std::int64_t key) {
    const std::lock_guard lock(mutex_);
    // One statement: a job replaced or settled since it was read is no longer claimed.
    sqlite::Statement(db_, "UPDATE jobs SET attempts = attempts + 1, maybe_duplicate = "
                           "maybe_duplicate OR in_flight, in_flight = 1 WHERE key = ? AND state "
                           "IN " +
                               sqlStates(isPending))
        .bind(1, key)
        .step();
    return db_.changes() > 0;
}

void JobStore::markSent(std::int64_t key, const std::string& reportId) {
    update("UPDATE jobs SET state = " + sqlState(JobState::Sent) +
               ", in_flight = 0, last_error = '', report_id = ?2 WHERE key = ?1",
           key, reportId);
}

void JobStore::markRefused(std::int64_t key, const std::string& reason) {
    update("UPDATE jobs SET state = " + sqlState(JobState::Refused) +
               ", in_flight = 0, last_error = ?2 WHERE key = ?1",
           key, reason);
}

void JobStore::markFailed(std::int64_t key, const std::string& reason, const DateTime& nextAttempt,
                          bool answerLost) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement(db_,
                      "UPDATE jobs SET state = " + sqlState(JobState::Failed) +
                          ", in_flight = 0, last_error = ?2, next_attempt = ?3, maybe_duplicate = "
                          "maybe_duplicate OR ?4 WHERE key = ?1")
        .bind(1, key)
        .bind(2, reason)
        .bind(3, dateText(nextAttempt))
        .bind(4, std::int64_t{answerLost})
        .step();
}

void JobStore::markToCheck(std::int64_t key, const std::string& reason) {
    update("UPDATE jobs SET state = " + sqlState(JobState::ToCheck) +
               ", in_flight = 0, last_error = ?2 WHERE key = ?1",
           key, reason);
}

void JobStore::sendAgain(std::int64_t key) {
    update("UPDATE jobs SET state = " + sqlState(JobState::Waiting) +
               " WHERE key = ? AND state IN " + sqlStates(canSendAgain),
           key);
}

bool JobStore::replaceUnsent(std::int64_t earlier) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement(db_, "UPDATE jobs SET state = " + sqlState(JobState::Replaced) +
                               " WHERE key = ? AND in_flight = 0 AND state IN " +
                               sqlStates(isPending))
        .bind(1, earlier)
        .step();
    return db_.changes() > 0;
}

void JobStore::makeFailedDue(const DateTime& now) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement(db_, "UPDATE jobs SET next_attempt = ? WHERE state = " +
                               sqlState(JobState::Failed))
        .bind(1, dateText(now))
        .step();
}

std::vector<StoredJob> JobStore::listed(const DateTime& from) const {
    return select("WHERE captured_at >= ? OR state IN " + sqlStates(isUnsettled) +
                      " ORDER BY captured_at, key",
                  {dateText(from)});
}

std::vector<StoredJob> JobStore::search(const std::wstring& text, int limit) const {
    // The text is matched literally: LIKE's own wildcards in it are escaped.
    std::string pattern = "%";
    for (const char c : toUtf8(text)) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    pattern += '%';
    return select("WHERE customer LIKE ?1 ESCAPE '\\' OR registration LIKE ?1 ESCAPE '\\' "
                  "OR chassis LIKE ?1 ESCAPE '\\' OR document LIKE ?1 ESCAPE '\\' "
                  "ORDER BY captured_at DESC, key DESC LIMIT " +
                      std::to_string(limit),
                  {pattern});
}

int JobStore::pendingCount() const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_,
                            "SELECT COUNT(*) FROM jobs WHERE state IN " + sqlStates(isPending));
    return query.step() ? static_cast<int>(query.integer(0)) : 0;
}

bool JobStore::knows(const std::string& spoolName, const DateTime& lastWrite) const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_,
                            "SELECT 1 FROM jobs WHERE spool_name = ?1 AND spool_written >= ?2");
    query.bind(1, spoolName).bind(2, dateText(lastWrite));
    return query.step();
}

std::vector<StoredJob> JobStore::settledBefore(const DateTime& cutoff) const {
    return select("WHERE captured_at < ? AND state NOT IN " + sqlStates(isUnsettled),
                  {dateText(cutoff)});
}

void JobStore::forget(std::int64_t key) {
    const std::lock_guard lock(mutex_);
    sqlite::Transaction transaction(db_);
    sqlite::Statement copy(db_, "SELECT copy_path FROM jobs WHERE key = ?");
    copy.bind(1, key);
    if (copy.step())
        deleteProof(copy.text(0));
    sqlite::Statement(db_, "DELETE FROM jobs WHERE key = ?").bind(1, key).step();
    transaction.commit();
}

void JobStore::distrustCopies() {
    const std::lock_guard lock(mutex_);
    sqlite::Transaction transaction(db_);
    db_.exec(distrustCopiesSql());
    transaction.commit();
}

void JobStore::deleteProof(const std::string& copyPath) {
    sqlite::Statement(db_, "DELETE FROM copies WHERE name = ?")
        .bind(1, copyPath.substr(copyPath.find_last_of("\\/") + 1))
        .step();
}

void JobStore::forgetCopy(const std::string& copyPath) {
    const std::lock_guard lock(mutex_);
    deleteProof(copyPath);
}

void JobStore::vouchForCopy(const std::string& name, const std::string& printDate) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement(db_, "INSERT OR REPLACE INTO copies VALUES (?, 1, ?)")
        .bind(1, name)
        .bind(2, printDate)
        .step();
}

std::string JobStore::copyPrintDate(const std::string& name) const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_, "SELECT print_date FROM copies WHERE name = ?");
    query.bind(1, name);
    return query.step() ? query.text(0) : std::string();
}

bool JobStore::wroteCopy(const std::string& name) const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_, "SELECT 1 FROM copies WHERE name = ? AND written = 1");
    query.bind(1, name);
    return query.step();
}

bool JobStore::noteStrangeCopy(const std::string& name) {
    const std::lock_guard lock(mutex_);
    sqlite::Statement(db_, "INSERT OR IGNORE INTO copies VALUES (?, 0, '')").bind(1, name).step();
    return db_.changes() > 0;
}

std::vector<std::string> JobStore::copyPaths() const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_, "SELECT copy_path FROM jobs WHERE copy_path <> ''");
    std::vector<std::string> paths;
    while (query.step())
        paths.push_back(query.text(0));
    return paths;
}

std::int32_t JobStore::lastJobNumber() const {
    const std::lock_guard lock(mutex_);
    sqlite::Statement query(db_, "SELECT COALESCE(MAX(job_number), 0) FROM jobs");
    return query.step() ? static_cast<std::int32_t>(query.integer(0)) : 0;
}

std::string jobStateText(const StoredJob& job) {
    switch (job.state) {
    case JobState::Sent:
        return job.maybeDuplicate ? "envoyée (peut-être en double)" : "Envoyée";
    case JobState::Refused:
        return "Refusée";
    case JobState::Failed:
        return "Échec : " + job.lastError + " — nouvel essai à " +
               formatPicture(job.nextAttempt, "HH:mm");
    case JobState::NotAnInvoice:
        return "Pas une facture";
    case JobState::ToCheck:
        return "À vérifier : " + (job.lastError.empty() ? "copie retrouvée" : job.lastError);
    case JobState::Replaced:
        return "Remplacée par sa version complète";
    case JobState::Waiting:
        break;
    }
    return "En attente d'envoi";
}

} // namespace quorva
