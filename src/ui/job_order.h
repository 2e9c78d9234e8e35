#pragma once

// What the job grid shows: its columns, each job's cell texts, and the order of its rows, which
// the user sorts by a column's header. The jobs stay where the capture core keeps them; the grid
// maps its rows to job ids and back.

#include "capture/job_list.h"
#include "platform/locale.h"

#include <array>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorva {

enum class JobColumn { ChangeTime, Customer, Registration, Chassis, Document, ReportId, State };
inline constexpr int kJobColumnCount = 7;

struct JobColumnInfo {
    const wchar_t* caption; // empty: no caption
    int width;
};

// Left to right, by JobColumn.
const std::array<JobColumnInfo, kJobColumnCount>& jobColumns();

// The cell's text: the change time in the "c" format, the others as the job holds them.
std::wstring jobCellText(const Job& job, JobColumn column, const Locale& locale);

class JobOrder {
public:
    JobOrder(const JobList& jobs, const Locale& locale) : jobs_(jobs), locale_(locale) {}

    int rowCount() const { return static_cast<int>(rows_.size()); }
    // The row's job; kNoJob for a row that is not one.
    JobId jobAt(int row) const;
    // The job's row; -1 for a job that is not shown.
    int rowOf(JobId id) const;

    // A job added to the list goes below the others, whatever the sort; a job found by a search
    // only while the rows show that search's jobs.
    void jobAdded(JobId id);
    // The rows show only these jobs (a search's), or, with nothing, the listed jobs again; in
    // the sort the user chose, or in the order they were added while none was chosen.
    void showOnly(const std::optional<std::vector<JobId>>& jobs);
    bool filtered() const { return shown_.has_value(); }

    // A click on a column's header: sorts all rows by that column (the change time by value, the
    // others alphabetically, ignoring letter case); a click on the column that holds the sort
    // mark reverses its direction, a click on another column sorts ascending. The change time
    // holds a descending mark from the start. The sort is stable.
    void sortByColumn(JobColumn column);
    JobColumn sortColumn() const { return sortColumn_; }
    bool sortDescending() const { return sortDescending_; }

private:
    bool rowShows(JobId id) const;
    void sortRows();

    const JobList& jobs_;
    const Locale& locale_;
    std::vector<JobId> rows_;
    std::vector<int> rowOfJob_; // by job id
    JobColumn sortColumn_ = JobColumn::ChangeTime;
    bool sortDescending_ = true;
    bool userSorted_ = false;
    std::optional<std::unordered_set<JobId>> shown_;
};

} // namespace quorva
