#include "report-server/report_store.h"

#include "report-server/text_util.h"
#include "store/sqlite.h"

#include <fcntl.h>
#include <openssl/sha.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quorva::report {

namespace fs = std::filesystem;

namespace {

constexpr const char* databaseName = "reports.sqlite";
constexpr const char* contentName = "spool";

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw StoreError(what + " " + path.string() + ": " + std::strerror(error));
}

// The invoices are the dealership's customers' data: only the server's own account reads them.
constexpr mode_t fileMode = 0600;

// Makes the folder, for the server's account only, unless it is there already.
void makeFolder(const fs::path& path) {
    if (fs::create_directory(path))
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
}

// Writes the whole file and flushes it to the disk before returning.
void writeDurably(const fs::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, fileMode);
    if (fd < 0)
        fail("cannot create", path, errno);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            const int error = errno;
            ::close(fd);
            fail("cannot write", path, error);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        fail("cannot write", path, error);
    }
    if (::close(fd) != 0)
        fail("cannot write", path, errno);
}

// A report's folder as its row names it, from the data folder.
std::string folderName(std::uint64_t id) {
    return "reports/" + std::to_string(id);
}

// Makes the folder's entries (a file created, a folder renamed) reach the disk.
void syncFolder(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot open", path, errno);
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0)
        fail("cannot write", path, error);
}

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The numbered report folders, for a data folder from before the database.
std::vector<std::uint64_t> reportFolders(const fs::path& reports) {
    std::vector<std::uint64_t> ids;
    for (const fs::directory_entry& entry : fs::directory_iterator(reports)) {
        const auto id = parseReportId(entry.path().filename().string());
        if (id && entry.is_directory())
            ids.push_back(*id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Removes the staging folders of stores that were interrupted.
void removeStagingFolders(const fs::path& reports) {
    std::vector<fs::path> leftovers;
    for (const fs::directory_entry& entry : fs::directory_iterator(reports))
        if (entry.path().filename().string().starts_with("."))
            leftovers.push_back(entry.path());
    for (const fs::path& path : leftovers)
        fs::remove_all(path);
}

void appendLine(std::string& out, std::string_view name, std::string_view value) {
    out += percentEscaped(name) + "=" + percentEscaped(value) + "\n";
}

std::string fieldsText(const Upload& upload) {
    std::string text;
    for (const TextField& field : upload.fields)
        appendLine(text, field.name, field.value);
    return text;
}

std::string fileText(const Upload& upload) {
    std::string text;
    appendLine(text, "field", upload.fileField);
    appendLine(text, "filename", upload.fileName);
    appendLine(text, "content-type", upload.contentType);
    appendLine(text, "size", std::to_string(upload.content.size()));
    return text;
}

// The first value of the field, empty when the upload has none.
std::string fieldValue(const Upload& upload, std::string_view name) {
    for (const TextField& field : upload.fields)
        if (field.name == name)
            return field.value;
    return {};
}

std::string sha256(std::string_view bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

} // namespace

// What makes an upload the repeat of a stored one. A desk sends a job again, byte for byte, when
// the answer to it was lost; the same Site and JobID with other bytes are a new job of a desk
// whose job numbers began again.
struct ReportStore::RepeatKey {
    explicit RepeatKey(const Upload& upload)
        : site(fieldValue(upload, "Site")), job(fieldValue(upload, "JobID")),
          digest(sha256(upload.content)) {}

    std::string site;
    std::string job;
    std::string digest; // SHA-256 of the file part's bytes
};

// The numbers given and the folder each names. Used under the store's lock.
//
// Schema version 1: the reports table. A database from before the version has it already; a data
// folder from before the database has its report folders taken into it.
// Version 2: each report's repeat key. Reports stored before it have none, so a repeat of one of
// them is stored anew.
class ReportStore::Database {
public:
    Database(const fs::path& file, const fs::path& reports)
        : db_(file.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, file.string() + ": ") {
        // FULL: a committed row is on the disk before the answer that gives its number.
        db_.exec("PRAGMA synchronous = FULL");
        db_.migrate(
            {[&] {
                 const bool existed =
                     sqlite::Statement(db_, "SELECT 1 FROM sqlite_master WHERE name = 'reports'")
                         .step();
                 // AUTOINCREMENT: a number is never given again, even once its row is gone.
                 db_.exec(
                     "CREATE TABLE IF NOT EXISTS reports (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                     "folder TEXT NOT NULL, "
                     "received TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')))");
                 if (!existed)
                     for (const std::uint64_t id : reportFolders(reports))
                         insertFolder(id);
             },
             [&] {
                 db_.exec("ALTER TABLE reports ADD COLUMN site TEXT");
                 db_.exec("ALTER TABLE reports ADD COLUMN job TEXT");
                 db_.exec("ALTER TABLE reports ADD COLUMN digest BLOB");
                 db_.exec("CREATE UNIQUE INDEX reports_repeat ON reports (site, job, digest)");
             }});
    }

    std::uint64_t nextId() const {
        sqlite::Statement query(
            db_,
            "SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'reports'), 0) + 1");
        query.step();
        return static_cast<std::uint64_t>(query.integer(0));
    }

    // A report folder from before the database, as version 1 takes it in.
    void insertFolder(std::uint64_t id) {
        sqlite::Statement(db_, "INSERT INTO reports (id, folder) VALUES (?1, ?2)")
            .bind(1, static_cast<std::int64_t>(id))
            .bind(2, folderName(id))
            .step();
    }

    void insert(std::uint64_t id, const RepeatKey& key) {
        sqlite::Statement(
            db_, "INSERT INTO reports (id, folder, site, job, digest) VALUES (?1, ?2, ?3, ?4, ?5)")
            .bind(1, static_cast<std::int64_t>(id))
            .bind(2, folderName(id))
            .bind(3, key.site)
            .bind(4, key.job)
            .bindBlob(5, key.digest)
            .step();
    }

    // The number of the stored upload that `key` repeats.
    std::optional<std::uint64_t> repeated(const RepeatKey& key) const {
        sqlite::Statement query(
            db_, "SELECT id FROM reports WHERE site = ?1 AND job = ?2 AND digest = ?3");
        query.bind(1, key.site).bind(2, key.job).bindBlob(3, key.digest);
        return query.step() ? std::optional(static_cast<std::uint64_t>(query.integer(0)))
                            : std::nullopt;
    }

    std::optional<std::string> folder(std::uint64_t id) const {
        sqlite::Statement query(db_, "SELECT folder FROM reports WHERE id = ?1");
        query.bind(1, static_cast<std::int64_t>(id));
        return query.step() ? std::optional(query.text(0)) : std::nullopt;
    }

    sqlite::Database& connection() { return db_; }

private:
    sqlite::Database db_;
};

ReportStore::ReportStore(fs::path root) : root_(std::move(root)), reports_(root_ / "reports") {
    try {
        if (root_.has_parent_path())
            fs::create_directories(root_.parent_path());
        makeFolder(root_);
        makeFolder(reports_);
        // The database takes the mode of the file it finds, and gives it to its journal files.
        const fs::path database = root_ / databaseName;
        const int fd = ::open(database.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, fileMode);
        if (fd < 0)
            fail("cannot create", database, errno);
        ::close(fd);
        removeStagingFolders(reports_);
        database_ = std::make_unique<Database>(root_ / databaseName, reports_);
    } catch (const fs::filesystem_error& e) {
        throw StoreError(e.code().message() + ": " + e.path1().string());
    }
}

ReportStore::~ReportStore() = default;

std::uint64_t ReportStore::add(const Upload& upload) {
    const RepeatKey key(upload);
    std::lock_guard lock(mutex_);
    sqlite::Transaction transaction(database_->connection());
    if (const auto stored = database_->repeated(key))
        return *stored;
    const std::uint64_t id = database_->nextId();
    const fs::path folder = reportFolder(id);
    const fs::path staging = reports_ / ("." + std::to_string(id) + ".tmp");
    try {
        fs::remove_all(staging);
        makeFolder(staging);
        writeDurably(staging / contentName, upload.content);
        writeDurably(staging / "fields.txt", fieldsText(upload));
        writeDurably(staging / "file.txt", fileText(upload));
        syncFolder(staging);
        // A folder under this number without a row was left by a cut before its commit.
        fs::remove_all(folder);
        fs::rename(staging, folder);
        syncFolder(reports_);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        throw;
    }
    database_->insert(id, key);
    transaction.commit();
    return id;
}

std::optional<std::string> ReportStore::content(std::uint64_t id) const {
    std::optional<std::string> folder;
    {
        std::lock_guard lock(mutex_);
        folder = database_->folder(id);
    }
    if (!folder)
        return std::nullopt;
    return readWhole(root_ / *folder / contentName);
}

std::optional<std::uint64_t> parseReportId(std::string_view text) {
    const auto value = parseDecimal(text);
    if (!value || text.front() == '0')
        return std::nullopt;
    return value;
}

fs::path ReportStore::reportFolder(std::uint64_t id) const {
    return root_ / folderName(id);
}

} // namespace quorva::report
