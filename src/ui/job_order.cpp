#include "ui/job_order.h"

#include "platform/date_format.h"

#include <algorithm>

namespace quorva {

namespace {

// Letter case folded for sorting: A to Z and the Latin-1 capitals (not the multiplication sign).
wchar_t foldCase(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<wchar_t>(c + 0x20);
    return c;
}

bool lessIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](wchar_t x, wchar_t y) { return foldCase(x) < foldCase(y); });
}

// The change time as the grid shows it: to the second.
DateTime shownTime(const Job& job) {
    DateTime time = job.changedAt;
    time.millisecond = 0;
    return time;
}

} // namespace

const std::array<JobColumnInfo, kJobColumnCount>& jobColumns() {
    static const std::array<JobColumnInfo, kJobColumnCount> columns{{
        {L"Date Début", 130},
        {L"Nom Client", 200},
        {L"Immat.", 80},
        {L"N° Châssis", 150},
        {L"N° Document", 160},
        {L"", 50},
        {L"État", 250},
    }};
    return columns;
}

std::wstring jobCellText(const Job& job, JobColumn column, const Locale& locale) {
    switch (column) {
    case JobColumn::ChangeTime:
        return locale.ansiToWide(formatShownDateTime(job.changedAt, locale));
    case JobColumn::Customer:
        return job.customer;
    case JobColumn::Registration:
        return job.registration;
    case JobColumn::Chassis:
        return job.chassis;
    case JobColumn::Document:
        return job.document;
    case JobColumn::ReportId:
        return locale.ansiToWide(job.reportId);
    case JobColumn::State:
        return locale.ansiToWide(job.stateText);
    }
    return {};
}

JobId JobOrder::jobAt(int row) const {
    return row >= 0 && row < rowCount() ? rows_[static_cast<size_t>(row)] : kNoJob;
}

int JobOrder::rowOf(JobId id) const {
    return id >= 0 && id < static_cast<int>(rowOfJob_.size()) ? rowOfJob_[static_cast<size_t>(id)]
                                                              : -1;
}

bool JobOrder::rowShows(JobId id) const {
    return shown_ ? shown_->count(id) != 0 : !jobs_.at(id).foundBySearch;
}

void JobOrder::jobAdded(JobId id) {
    if (id >= static_cast<int>(rowOfJob_.size()))
        rowOfJob_.resize(static_cast<size_t>(id) + 1, -1);
    if (!rowShows(id))
        return;
    rowOfJob_[static_cast<size_t>(id)] = rowCount();
    rows_.push_back(id);
}

void JobOrder::showOnly(const std::optional<std::vector<JobId>>& jobs) {
    shown_.reset();
    if (jobs)
        shown_.emplace(jobs->begin(), jobs->end());
    rows_.clear();
    rowOfJob_.assign(static_cast<size_t>(jobs_.size()), -1);
    for (JobId id = 0; id < jobs_.size(); ++id)
        jobAdded(id);
    if (userSorted_)
        sortRows();
}

void JobOrder::sortByColumn(JobColumn column) {
    if (column == sortColumn_) {
        sortDescending_ = !sortDescending_;
    } else {
        sortColumn_ = column;
        sortDescending_ = false;
    }
    userSorted_ = true;
    sortRows();
}

void JobOrder::sortRows() {
    const JobColumn column = sortColumn_;
    const bool descending = sortDescending_;
    const auto before = [&](JobId x, JobId y) {
        const Job& a = jobs_.at(descending ? y : x);
        const Job& b = jobs_.at(descending ? x : y);
        if (column == JobColumn::ChangeTime)
            return shownTime(a) < shownTime(b);
        return lessIgnoringCase(jobCellText(a, column, locale_), jobCellText(b, column, locale_));
    };
    // Stable, so that rows with equal keys keep their order in both directions.
    std::stable_sort(rows_.begin(), rows_.end(), before);
    for (int row = 0; row < rowCount(); ++row)
        rowOfJob_[static_cast<size_t>(rows_[static_cast<size_t>(row)])] = row;
}

} // namespace quorva
