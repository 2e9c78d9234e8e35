#pragma once

// The job table: one row per spool file name seen in the spool folder, in memory only. Every
// part of the program reads and writes its cells as text by column number and row index; the
// grid on the job list tab shows it.

#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/locale.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorva {

enum JobColumn : int {
    colChangeTime = 0,     // time of the last change record
    colFileName = 1,       // lower-cased file name
    colSize = 2,           // size at the last poll, -1 when not found
    colSteadyReadings = 3, // polls that found the size unchanged
    colCustomer = 4,
    colRegistration = 5,
    colChassis = 6,
    colDocument = 7,
    colReportId = 8,
    colState = 9, // where the job stands on its way to the server
};
constexpr int kJobColumnCount = 10;

// Check counts (column 3): a row is handed to extraction when its size is read unchanged at
// kReadyReadings, and is done, left alone by the poll, from kDoneReadings on.
constexpr long long kReadyReadings = 5;
constexpr long long kDoneReadings = 6;

enum class ColumnKind { DateTime, Text, Number };

struct JobColumnInfo {
    const wchar_t* caption; // empty: no caption
    int width;
    bool shown;
    ColumnKind kind;
};

const std::array<JobColumnInfo, kJobColumnCount>& jobColumns();

// A number cell's text as an integer: an optional sign and decimal digits, nothing else.
std::optional<long long> parseCellInteger(std::wstring_view text);

// The value a date cell takes from text that is not a date: day zero of the OLE Automation date
// scale, 30 December 1899.
constexpr DateTime kZeroDateTime{1899, 12, 30, 0, 0, 0, 0};

// Told of every change so that a view can repaint what changed.
class JobTableListener {
public:
    virtual ~JobTableListener() = default;
    virtual void rowAppended(int row) = 0;
    virtual void cellChanged(int column, int row) = 0;
    virtual void rowsReordered() = 0;
    virtual void markChanged(int row) = 0;
};

class JobTable {
public:
    // The locale gives the date-time column its text form; the clock the year of a date written
    // without one.
    JobTable(const Locale& locale, const Clock& clock);

    int rowCount() const;
    // Adds one empty row at the bottom and returns its index.
    int appendRow();

    // The cell's text: the date column in the "c" format (no time part at exactly midnight,
    // empty for a cell never written), number columns in decimal, text columns unchanged.
    std::wstring cell(int column, int row) const;
    // The same, but a column or row out of range throws Error "Cell out of bounds (c, r)".
    std::wstring checkedCell(int column, int row) const;
    // Writes a cell from its text form. The date column converts the text with the locale's
    // formats (text that does not convert gives the zero date-time); a number column throws
    // Error when the text is not an integer. A column or row out of range throws as
    // checkedCell does.
    void setCell(int column, int row, std::wstring_view text);

    // The last row whose name (column 1) equals `lowerName` exactly, -1 when there is none.
    int findByName(std::wstring_view lowerName) const;

    // The row's spool file: the folder, a backslash and column 1 in the ANSI code page. A row out
    // of range throws Error "Cell out of bounds (1, r)".
    std::string filePath(const std::string& folder, int row) const;

    // A click on a shown column's header: sorts all rows by that column (the date column by
    // date-time value, text columns alphabetically, ignoring letter case); a click on the column
    // that holds the sort mark reverses its direction, a click on another column sorts ascending.
    // The date column holds a descending mark from the start. Clicks on hidden columns do
    // nothing.
    void sortByColumn(int column);
    int sortColumn() const { return sortColumn_; }
    bool sortDescending() const { return sortDescending_; }

    // The selected mark that follows the pointer over the grid. Rows out of range (-1 included)
    // are ignored.
    void setMarked(int row, bool marked);
    bool isMarked(int row) const;
    // The first marked row, -1 when none.
    int markedRow() const;

    // The row's job in the job store, 0 for none; the last row of a job, -1 for none.
    void setJobKey(int row, std::int64_t key);
    std::int64_t jobKey(int row) const;
    int findByJobKey(std::int64_t key) const;

    // The row shows a job of an earlier run: it is never found by name again, so a new spool
    // file of the same name (the spooler reuses numbers) starts a row of its own.
    void markHistory(int row);

    // The row's check count has reached kDoneReadings: it was sent or given up.
    bool isDone(int row) const;

    // The row's file as it was when last handed to extraction (its size and last-write time),
    // and the report identifier that gave. Nothing before the row's first extraction.
    struct SettledVersion {
        std::int64_t size = 0;
        DateTime lastWrite;
    };
    void setSettledVersion(int row, const SettledVersion& settled);
    const std::optional<SettledVersion>& settledVersion(int row) const;

    // The exact time of the last change record for the row (kept beside the shown date, which
    // has whole seconds), so that a rescan can tell which files were written after it. The row
    // must exist (std::out_of_range otherwise).
    void setLastChange(int row, const DateTime& when);
    DateTime lastChange(int row) const;

    void setListener(JobTableListener* listener) { listener_ = listener; }

private:
    struct Row {
        DateTime start = kZeroDateTime;
        bool startWritten = false;
        std::array<std::wstring, 7> texts; // columns 1 and 4 to 9
        long long size = 0;
        long long steadyReadings = 0;
        bool marked = false;
        bool history = false;
        std::int64_t jobKey = 0;
        DateTime lastChange{};
        std::optional<SettledVersion> settled;
    };

    static size_t textSlot(int column);
    void checkBounds(int column, int row) const;
    const std::wstring& nameOf(int row) const;
    void renameRow(int row, const std::wstring& oldName, const std::wstring& newName);
    void rebuildIndex();

    const Locale& locale_;
    const Clock& clock_;
    // Rows by pointer: growing or sorting a large table moves pointers, not rows.
    std::vector<std::unique_ptr<Row>> rows_;
    // Name -> the last row holding it. Empty names are not indexed (a row is empty between its
    // append and the writing of its name).
    std::unordered_map<std::wstring, int> byName_;
    int sortColumn_ = colChangeTime;
    bool sortDescending_ = true;
    JobTableListener* listener_ = nullptr;
};

} // namespace quorva
