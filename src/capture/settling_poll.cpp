#include "capture/settling_poll.h"

#include <cstdint>

namespace quorva {

SettlingPoll::SettlingPoll(JobTable& table, const Files& files, const Locale& locale)
    : table_(table), files_(files), locale_(locale) {
}

std::string SettlingPoll::nextInfoText(const std::string& caption) {
    return caption == ".." ? "..." : "..";
}

long long SettlingPoll::checkCount(int row) const {
    return parseCellInteger(table_.cell(colSteadyReadings, row)).value_or(0);
}

bool SettlingPoll::anyPolling(int fromRow, int rowCount) const {
    for (int row = fromRow; row < rowCount; ++row) {
        if (checkCount(row) < kDoneReadings)
            return true;
    }
    return false;
}

void SettlingPoll::pass(const std::string& folder, const Extract& extract,
                        const std::function<void()>& enableTimer) {
    bool morePolling = false;
    bool extracted = false;
    const int rowCount = table_.rowCount();
    // After an extraction the remaining rows wait for the next pass, counts unchanged.
    for (int row = 0; row < rowCount && !extracted; ++row) {
        const long long checks = checkCount(row);
        if (checks >= kDoneReadings)
            continue;
        const std::string path = table_.filePath(folder, row);
        const std::int64_t size = files_.sizeBySearch(path);
        const std::wstring sizeText = std::to_wstring(size);
        if (sizeText != table_.cell(colSize, row)) {
            table_.setCell(colSize, row, sizeText);
            table_.setCell(colSteadyReadings, row, L"0");
            morePolling = true;
            continue;
        }
        if (checks < kReadyReadings) {
            table_.setCell(colSteadyReadings, row, std::to_wstring(checks + 1));
            morePolling = true;
        } else if (size > 1 && files_.heldForWriting(path)) {
            // The writer only paused: the job is not complete until it lets the file go.
            morePolling = true;
        } else {
            table_.setCell(colSteadyReadings, row, std::to_wstring(checks + 1));
            if (size <= 1)
                continue;
            try {
                extracted = settle(row, path, size, extract);
            } catch (...) {
                // The error box ends this pass, but the other rows must not stop settling.
                if (morePolling || anyPolling(row + 1, rowCount))
                    enableTimer();
                throw;
            }
        }
    }
    if (morePolling || extracted)
        enableTimer();
}

bool SettlingPoll::settle(int row, const std::string& path, std::int64_t size,
                          const Extract& extract) {
    const DateTime lastWrite = files_.lastWriteLocal(path);
    const std::optional<JobTable::SettledVersion> before = table_.settledVersion(row);
    if (before && before->size == size && before->lastWrite == lastWrite)
        return false; // a record without a new version: what was sent stands
    table_.setCell(colReportId, row, locale_.ansiToWide(extract(row)));
    table_.setSettledVersion(row, {size, lastWrite});
    return true;
}

} // namespace quorva
