#pragma once

// The settling poll: every 500 ms a pass re-reads the sizes of the rows' spool files and hands a
// file whose size has stayed the same for six readings in a row to extraction and upload. A file
// that a writer still holds open keeps polling, however long it pauses; a file whose settled
// version was already handed over (same size, same last write) is not sent again.
//
// The window's timer handler drives it:
//     settlingTimer.setEnabled(false);
//     heartbeatLabel = SettlingPoll::nextInfoText(heartbeatLabel);
//     poll.pass(spoolFolderLabel, [&](int row) { return extractAndRecord(row); },
//               [&] { settlingTimer.setEnabled(true); });

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
    long long checkCount(int row) const;
    bool anyPolling(int fromRow, int rowCount) const;
    // Hands the settled row to extraction unless this version of its file already was; records
    // the version and the identifier. Returns whether extraction ran.
    bool settle(int row, const std::string& path, std::int64_t size, const Extract& extract);

    JobTable& table_;
    const Files& files_;
    const Locale& locale_;
};

} // namespace quorva
