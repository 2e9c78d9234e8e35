#include "report-server/report_store.h"

#include "report-server/text_util.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
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

// Writes the whole file and flushes it to the disk before returning.
void writeDurably(const fs::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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

} // namespace

// The numbers given and the folder each names. Used under the store's lock.
class ReportStore::Database {
public:
    explicit Database(const fs::path& file) : file_(file) {
        sqlite3* opened = nullptr;
        const int result = sqlite3_open_v2(file.c_str(), &opened,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        // Even a failed open gives a handle to close.
        db_.reset(opened);
        if (result != SQLITE_OK)
            throw StoreError("cannot open " + file.string() + ": " +
                             (opened ? sqlite3_errmsg(opened) : "out of memory"));
        // FULL: a committed row is on the disk before the answer that gives its number.
        execute("PRAGMA synchronous = FULL");
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Creates the table; true when it was not there yet.
    bool create() {
        const bool existed = run("SELECT count(*) FROM sqlite_master WHERE name = 'reports'") != 0;
        // AUTOINCREMENT: a number is never given again, even once its row is gone.
        execute("CREATE TABLE IF NOT EXISTS reports (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                "folder TEXT NOT NULL, "
                "received TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')))");
        return !existed;
    }

    void execute(const char* sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string reason = message ? message : sqlite3_errmsg(db_.get());
            sqlite3_free(message);
            throw StoreError(file_.string() + ": " + reason);
        }
    }

    std::uint64_t nextId() {
        return run("SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'reports'), 0) "
                   "+ 1");
    }

    void insert(std::uint64_t id, const std::string& folder) {
        run("INSERT INTO reports (id, folder) VALUES (?1, ?2)", id, folder);
    }

    std::optional<std::string> folder(std::uint64_t id) {
        std::optional<std::string> found;
        run("SELECT folder FROM reports WHERE id = ?1", id, {}, [&](sqlite3_stmt* row) {
            found = reinterpret_cast<const char*>(sqlite3_column_text(row, 0));
        });
        return found;
    }

    // One write transaction; rolled back unless committed.
    class Transaction {
    public:
        explicit Transaction(Database& database) : database_(database) {
            database_.execute("BEGIN IMMEDIATE");
        }
        ~Transaction() {
            if (committed_)
                return;
            try {
                database_.execute("ROLLBACK");
            } catch (const StoreError&) {
                // The failure that got us here is the one to report.
            }
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit() {
            database_.execute("COMMIT");
            committed_ = true;
        }

    private:
        Database& database_;
        bool committed_ = false;
    };

private:
    // Runs one statement with up to two parameters; each result row goes to `onRow`. Returns
    // the first column of the last row as a number (0 when none).
    std::uint64_t run(const char* sql, std::optional<std::uint64_t> number = {},
                      std::optional<std::string> text = {},
                      const std::function<void(sqlite3_stmt*)>& onRow = {}) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql, -1, &statement, nullptr) != SQLITE_OK)
            throw StoreError(file_.string() + ": " + sqlite3_errmsg(db_.get()));
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(statement,
                                                                          sqlite3_finalize);
        if (number)
            sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(*number));
        if (text)
            sqlite3_bind_text(statement, 2, text->c_str(), -1, SQLITE_TRANSIENT);
        std::uint64_t first = 0;
        int step;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            first = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 0));
            if (onRow)
                onRow(statement);
        }
        if (step != SQLITE_DONE)
            throw StoreError(file_.string() + ": " + sqlite3_errmsg(db_.get()));
        return first;
    }

    fs::path file_;
    // A member, so that it is closed also when the constructor fails.
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close};
};

ReportStore::ReportStore(fs::path root) : root_(std::move(root)), reports_(root_ / "reports") {
    try {
        fs::create_directories(reports_);
        removeStagingFolders(reports_);
        database_ = std::make_unique<Database>(root_ / databaseName);
        Database::Transaction transaction(*database_);
        if (database_->create())
            for (const std::uint64_t id : reportFolders(reports_))
                database_->insert(id, folderName(id));
        transaction.commit();
    } catch (const fs::filesystem_error& e) {
        throw StoreError(e.code().message() + ": " + e.path1().string());
    }
}

ReportStore::~ReportStore() = default;

std::uint64_t ReportStore::add(const Upload& upload) {
    std::lock_guard lock(mutex_);
    Database::Transaction transaction(*database_);
    const std::uint64_t id = database_->nextId();
    const fs::path folder = reportFolder(id);
    const fs::path staging = reports_ / ("." + std::to_string(id) + ".tmp");
    try {
        fs::remove_all(staging);
        fs::create_directory(staging);
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
    database_->insert(id, folderName(id));
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
