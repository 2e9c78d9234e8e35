#include "capture/job_table.h"

#include "platform/date_format.h"
#include "platform/error.h"

#include <algorithm>
#include <limits>

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

std::string outOfBoundsText(int column, int row) {
    return "Cell out of bounds (" + std::to_string(column) + ", " + std::to_string(row) + ")";
}

} // namespace

const std::array<JobColumnInfo, kJobColumnCount>& jobColumns() {
    static const std::array<JobColumnInfo, kJobColumnCount> columns{{
        {L"Date Début", 130, true, ColumnKind::DateTime},
        {L"Nom Fichier", 70, false, ColumnKind::Text},
        {L"Taille", 50, false, ColumnKind::Number},
        {L"", 20, false, ColumnKind::Number},
        {L"Nom Client", 200, true, ColumnKind::Text},
        {L"Immat.", 80, true, ColumnKind::Text},
        {L"N° Châssis", 150, true, ColumnKind::Text},
        {L"N° Document", 160, true, ColumnKind::Text},
        {L"", 50, true, ColumnKind::Text},
        {L"État", 250, true, ColumnKind::Text},
    }};
    return columns;
}

std::optional<long long> parseCellInteger(std::wstring_view text) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == L'-';
    if (!text.empty() && (text[0] == L'-' || text[0] == L'+'))
        i = 1;
    if (i == text.size())
        return std::nullopt;
    // Accumulated as a negative number so that the smallest value fits too.
    long long value = 0;
    constexpr long long lowest = std::numeric_limits<long long>::min();
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c < L'0' || c > L'9')
            return std::nullopt;
        const int digit = c - L'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == lowest)
            return std::nullopt;
        value = -value;
    }
    return value;
}

JobTable::JobTable(const Locale& locale, const Clock& clock) : locale_(locale), clock_(clock) {
}

int JobTable::rowCount() const {
    return static_cast<int>(rows_.size());
}

int JobTable::appendRow() {
    rows_.push_back(std::make_unique<Row>());
    const int row = rowCount() - 1;
    if (listener_ != nullptr)
        listener_->rowAppended(row);
    return row;
}

size_t JobTable::textSlot(int column) {
    return column == colFileName ? 0 : static_cast<size_t>(column - colCustomer + 1);
}

void JobTable::setJobKey(int row, std::int64_t key) {
    rows_.at(static_cast<size_t>(row))->jobKey = key;
}

std::int64_t JobTable::jobKey(int row) const {
    return rows_.at(static_cast<size_t>(row))->jobKey;
}

int JobTable::findByJobKey(std::int64_t key) const {
    for (int row = rowCount() - 1; row >= 0; --row)
        if (rows_[static_cast<size_t>(row)]->jobKey == key)
            return row;
    return -1;
}

void JobTable::markHistory(int row) {
    const std::wstring name = nameOf(row);
    renameRow(row, name, {});
    rows_.at(static_cast<size_t>(row))->history = true;
}

const std::wstring& JobTable::nameOf(int row) const {
    return rows_[static_cast<size_t>(row)]->texts[textSlot(colFileName)];
}

void JobTable::checkBounds(int column, int row) const {
    if (column < 0 || column >= kJobColumnCount || row < 0 || row >= rowCount())
        throw Error(outOfBoundsText(column, row));
}

std::wstring JobTable::cell(int column, int row) const {
    if (column < 0 || column >= kJobColumnCount || row < 0 || row >= rowCount())
        return {};
    const Row& r = *rows_[static_cast<size_t>(row)];
    switch (column) {
    case colChangeTime:
        return r.startWritten ? locale_.ansiToWide(formatShownDateTime(r.start, locale_))
                              : std::wstring();
    case colSize:
        return std::to_wstring(r.size);
    case colSteadyReadings:
        return std::to_wstring(r.steadyReadings);
    default:
        return r.texts[textSlot(column)];
    }
}

std::wstring JobTable::checkedCell(int column, int row) const {
    checkBounds(column, row);
    return cell(column, row);
}

void JobTable::setCell(int column, int row, std::wstring_view text) {
    checkBounds(column, row);
    Row& r = *rows_[static_cast<size_t>(row)];
    switch (column) {
    case colChangeTime:
        r.start =
            parseDateTime(locale_.wideToAnsi(text), locale_, clock_.now()).value_or(kZeroDateTime);
        r.startWritten = true;
        break;
    case colSize:
    case colSteadyReadings: {
        const auto value = parseCellInteger(text);
        if (!value)
            throw Error("'" + locale_.wideToAnsi(text) + "' n'est pas un nombre entier valide");
        (column == colSize ? r.size : r.steadyReadings) = *value;
        break;
    }
    default: {
        std::wstring& slot = r.texts[textSlot(column)];
        if (column == colFileName && slot != text) {
            std::wstring old = std::move(slot);
            slot = text;
            renameRow(row, old, slot);
        } else {
            slot = text;
        }
        break;
    }
    }
    if (listener_ != nullptr)
        listener_->cellChanged(column, row);
}

void JobTable::renameRow(int row, const std::wstring& oldName, const std::wstring& newName) {
    if (!oldName.empty()) {
        const auto it = byName_.find(oldName);
        if (it != byName_.end() && it->second == row) {
            // Another, earlier row may hold the same name: it becomes the last match. This walk
            // only happens when a named row is renamed, which the program never does.
            int previous = row - 1;
            while (previous >= 0 &&
                   (nameOf(previous) != oldName || rows_[static_cast<size_t>(previous)]->history))
                --previous;
            if (previous >= 0)
                it->second = previous;
            else
                byName_.erase(it);
        }
    }
    if (!newName.empty() && !rows_[static_cast<size_t>(row)]->history) {
        const auto [it, inserted] = byName_.try_emplace(newName, row);
        if (!inserted && it->second < row)
            it->second = row;
    }
}

int JobTable::findByName(std::wstring_view lowerName) const {
    if (lowerName.empty()) {
        for (int row = rowCount() - 1; row >= 0; --row) {
            if (nameOf(row).empty())
                return row;
        }
        return -1;
    }
    const auto it = byName_.find(std::wstring(lowerName));
    return it == byName_.end() ? -1 : it->second;
}

std::string JobTable::filePath(const std::string& folder, int row) const {
    return folder + "\\" + locale_.wideToAnsi(checkedCell(colFileName, row));
}

void JobTable::sortByColumn(int column) {
    if (column < 0 || column >= kJobColumnCount || !jobColumns()[column].shown)
        return;
    if (column == sortColumn_) {
        sortDescending_ = !sortDescending_;
    } else {
        sortColumn_ = column;
        sortDescending_ = false;
    }
    const bool descending = sortDescending_;
    const auto before = [column, descending](const std::unique_ptr<Row>& x,
                                             const std::unique_ptr<Row>& y) {
        const Row& a = descending ? *y : *x;
        const Row& b = descending ? *x : *y;
        if (column == colChangeTime)
            return a.start < b.start;
        const size_t slot = textSlot(column);
        return lessIgnoringCase(a.texts[slot], b.texts[slot]);
    };
    // Stable, so that rows with equal keys keep their order in both directions.
    std::stable_sort(rows_.begin(), rows_.end(), before);
    rebuildIndex();
    if (listener_ != nullptr)
        listener_->rowsReordered();
}

void JobTable::rebuildIndex() {
    byName_.clear();
    for (int row = 0; row < rowCount(); ++row) {
        const std::wstring& name = nameOf(row);
        if (!name.empty() && !rows_[static_cast<size_t>(row)]->history)
            byName_[name] = row;
    }
}

void JobTable::setMarked(int row, bool marked) {
    if (row < 0 || row >= rowCount())
        return;
    bool& flag = rows_[static_cast<size_t>(row)]->marked;
    if (flag == marked)
        return;
    flag = marked;
    if (listener_ != nullptr)
        listener_->markChanged(row);
}

bool JobTable::isMarked(int row) const {
    return row >= 0 && row < rowCount() && rows_[static_cast<size_t>(row)]->marked;
}

int JobTable::markedRow() const {
    const auto marked = std::find_if(rows_.begin(), rows_.end(),
                                     [](const std::unique_ptr<Row>& row) { return row->marked; });
    return marked == rows_.end() ? -1 : static_cast<int>(marked - rows_.begin());
}

bool JobTable::isDone(int row) const {
    return rows_.at(static_cast<size_t>(row))->steadyReadings >= kDoneReadings;
}

void JobTable::setSettledVersion(int row, const SettledVersion& settled) {
    rows_.at(static_cast<size_t>(row))->settled = settled;
}

const std::optional<JobTable::SettledVersion>& JobTable::settledVersion(int row) const {
    return rows_.at(static_cast<size_t>(row))->settled;
}

void JobTable::setLastChange(int row, const DateTime& when) {
    rows_.at(static_cast<size_t>(row))->lastChange = when;
}

DateTime JobTable::lastChange(int row) const {
    return rows_.at(static_cast<size_t>(row))->lastChange;
}

} // namespace quorva
