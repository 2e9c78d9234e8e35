#pragma once

// One owner for SQLite's connection, statements and transactions, shared by the job store and the
// report server's store. Every failure throws Failure (an Error): the owner's context (which store,
// which file) followed by SQLite's own reason. Handles are released on every path.

#include "platform/error.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quorva::sqlite {

// A failure with what lies behind it, for a caller that waits, refuses or sets the file aside
// according to its kind.
class Failure : public Error {
public:
    Failure(const std::string& text, int code, int systemCode)
        : Error(text), code_(code), systemCode_(systemCode) {}
    // SQLite's extended result code.
    int code() const { return code_; }
    // The system's error code under an I/O failure (errno, GetLastError), 0 for none.
    int systemCode() const { return systemCode_; }

private:
    int code_;
    int systemCode_;
};

// The file's schema is newer than the steps this program knows: a later version wrote it.
class NewerSchema : public Error {
public:
    using Error::Error;
};

class Database {
public:
    // Opens `utf8Path` with sqlite3_open_v2's `flags`, in defensive mode and with the schema
    // untrusted. `context` starts every error's text.
    Database(const std::string& utf8Path, int flags, std::string context);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // How long a statement waits for another connection's lock before it fails.
    void busyTimeout(int milliseconds);
    // Runs statements that return no rows (pragmas, schema, transaction control).
    void exec(const std::string& sql);
    std::int64_t lastInsertId() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int changes() const;

    // The schema's version, kept in PRAGMA user_version (0 for a new file).
    int schemaVersion() const;
    // Brings the schema to version `steps.size()`: steps[i] turns version i into i + 1. The steps
    // that are needed run in one transaction with the version they reach, so a cut leaves the old
    // schema whole. A schema newer than the steps (a later program's) is refused: NewerSchema.
    void migrate(const std::vector<std::function<void()>>& steps);

    // Throws Failure with the context and SQLite's reason for the last failure.
    [[noreturn]] void fail() const;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
    std::string context_;
};

// One prepared statement. Parameters and columns count as SQLite counts them: parameters from 1,
// columns from 0.
class Statement {
public:
    Statement(const Database& database, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, std::string_view bytes);
    Statement& bindNull(int index);
    // Runs to the next row: true while there is one to read.
    bool step();
    // Ready to run again; the bound values stay until bound anew.
    void reset();

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    std::string blob(int column) const;
    bool isNull(int column) const;
    int parameterCount() const;

private:
    Statement& check(int result);

    const Database& database_;
    sqlite3_stmt* statement_ = nullptr;
};

// One write transaction (BEGIN IMMEDIATE, so that it never fails later for want of the write
// lock). Rolled back on destruction unless committed.
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Database& database_;
    bool committed_ = false;
};

} // namespace quorva::sqlite
