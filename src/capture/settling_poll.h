#pragma once

// The settling poll: every 500 ms a pass re-reads the sizes of the rows' spool files and hands a
// file whose size has stayed the same for six readings in a row to extraction and upload.
//
// The window's timer handler drives it:
//     settlingTimer.disable();
//     heartbeatLabel = SettlingPoll::nextInfoText(heartbeatLabel);
//     poll.pass(spoolFolderLabel, [&](int row) { return extractAndRecord(row); },
//               [&] { settlingTimer.enable(); });

#include "capture/job_table.h"
#include "platform/files.h"
#include "platform/locale.h"

#include <functional>
#include <string>

namespace quorva {

class SettlingPoll {
public:
    // Extracts and uploads the row's spool file; returns the report identifier (8-bit, empty
    // when nothing was uploaded).
    using Extract = std::function<std::string(int row)>;

    SettlingPoll(JobTable& table, const Files& files, const Locale& locale);

    // The caption of the label heartbeatLabel after a pass: ".." and "..." alternate.
    static std::string nextInfoText(const std::string& caption);

    // One pass over the rows of `folder`, with the timer already disabled. Calls `enableTimer`
    // once when a row still needs polling or a row was extracted. When `extract` throws, the
    // failed row stays done without an identifier; `enableTimer` is still called when another
    // row needs polling, then the exception propagates.
    void pass(const std::string& folder, const Extract& extract,
              const std::function<void()>& enableTimer);

private:
    // Thresholds on the check count (column 3).
    static constexpr long long kDone = 6;
    static constexpr long long kReady = 5;

    long long checkCount(int row) const;
    bool anyPolling(int fromRow, int rowCount) const;

    JobTable& table_;
    const Files& files_;
    const Locale& locale_;
};

} // namespace quorva
