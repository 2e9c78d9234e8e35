#include "store/sqlite.h"

#include "platform/error.h"

#include <sqlite3.h>

namespace quorva::sqlite {

namespace {

// A column's bytes, asked for before their count as SQLite requires; NULL reads as empty.
std::string copied(const void* bytes, int count) {
    return bytes == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(bytes), static_cast<size_t>(count));
}

} // namespace

Database::Database(const std::string& utf8Path, int flags, std::string context)
    : context_(std::move(context)) {
    const int result = sqlite3_open_v2(utf8Path.c_str(), &db_, flags, nullptr);
    if (result == SQLITE_OK) {
        // The file may have been written by someone else: its schema runs no unsafe function and
        // no statement may rewrite the schema's own text or corrupt the file on purpose.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        try {
            exec("PRAGMA trusted_schema=OFF");
        } catch (const Error&) {
            sqlite3_close(db_);
            throw;
        }
        return;
    }
    // Even a failed open leaves a handle to close, except when memory ran out.
    if (db_ == nullptr)
        throw Failure(context_ + sqlite3_errstr(result), result, 0);
    const Failure failure(context_ + sqlite3_errmsg(db_), sqlite3_extended_errcode(db_),
                          sqlite3_system_errno(db_));
    sqlite3_close(db_);
    throw failure;
}

Database::~Database() {
    sqlite3_close(db_);
}

void Database::fail() const {
    throw Failure(context_ + sqlite3_errmsg(db_), sqlite3_extended_errcode(db_),
                  sqlite3_system_errno(db_));
}

void Database::busyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_, milliseconds);
}

void Database::exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK)
        return;
    const std::string reason = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    throw Failure(context_ + reason, sqlite3_extended_errcode(db_), sqlite3_system_errno(db_));
}

std::int64_t Database::lastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

int Database::changes() const {
    return sqlite3_changes(db_);
}

int Database::schemaVersion() const {
    Statement query(*this, "PRAGMA user_version");
    query.step();
    return static_cast<int>(query.integer(0));
}

void Database::migrate(const std::vector<std::function<void()>>& steps) {
    const int latest = static_cast<int>(steps.size());
    // Read inside the transaction: another connection may be migrating the same file.
    Transaction transaction(*this);
    const int version = schemaVersion();
    if (version > latest)
        throw NewerSchema(context_ + "unknown schema version " + std::to_string(version));
    if (version == latest)
        return;
    for (int step = version; step < latest; ++step)
        steps[static_cast<size_t>(step)]();
    exec("PRAGMA user_version = " + std::to_string(latest));
    transaction.commit();
}

Statement::Statement(const Database& database, std::string_view sql) : database_(database) {
    if (sqlite3_prepare_v2(database.handle(), sql.data(), static_cast<int>(sql.size()), &statement_,
                           nullptr) != SQLITE_OK)
        database.fail();
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::check(int result) {
    if (result != SQLITE_OK)
        database_.fail();
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    return check(sqlite3_bind_int64(statement_, index, value));
}

Statement& Statement::bind(int index, std::string_view text) {
    return check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                   SQLITE_TRANSIENT));
}

Statement& Statement::bindBlob(int index, std::string_view bytes) {
    return check(sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()),
                                   SQLITE_TRANSIENT));
}

Statement& Statement::bindNull(int index) {
    return check(sqlite3_bind_null(statement_, index));
}

bool Statement::step() {
    const int result = sqlite3_step(statement_);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        database_.fail();
    return result == SQLITE_ROW;
}

void Statement::reset() {
    // The last step's failure was already thrown; resetting only repeats it.
    sqlite3_reset(statement_);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::string Statement::text(int column) const {
    const unsigned char* bytes = sqlite3_column_text(statement_, column);
    return copied(bytes, sqlite3_column_bytes(statement_, column));
}

std::string Statement::blob(int column) const {
    const void* bytes = sqlite3_column_blob(statement_, column);
    return copied(bytes, sqlite3_column_bytes(statement_, column));
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int Statement::parameterCount() const {
    return sqlite3_bind_parameter_count(statement_);
}

Transaction::Transaction(Database& database) : database_(database) {
    database_.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (committed_)
        return;
    try {
        database_.exec("ROLLBACK");
    } catch (const Error&) {
        // The failure that got us here is the one to report.
    }
}

void Transaction::commit() {
    database_.exec("COMMIT");
    committed_ = true;
}

} // namespace quorva::sqlite
