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
        if (checkCount(row) < kDone)
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
        if (checks >= kDone)
            continue;
        const std::int64_t size = files_.sizeBySearch(table_.filePath(folder, row));
        const std::wstring sizeText = std::to_wstring(size);
        if (sizeText != table_.cell(colSize, row)) {
            table_.setCell(colSize, row, sizeText);
            table_.setCell(colSteadyReadings, row, L"0");
            morePolling = true;
            continue;
        }
        table_.setCell(colSteadyReadings, row, std::to_wstring(checks + 1));
        if (checks < kReady) {
            morePolling = true;
        } else if (size > 1) {
            std::string id;
            try {
                id = extract(row);
            } catch (...) {
                // The error box ends this pass, but the other rows must not stop settling.
                if (morePolling || anyPolling(row + 1, rowCount))
                    enableTimer();
                throw;
            }
            table_.setCell(colReportId, row, locale_.ansiToWide(id));
            extracted = true;
        }
    }
    if (morePolling || extracted)
        enableTimer();
}

} // namespace quorva
