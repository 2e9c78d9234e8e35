#include "desk/status_line_win.h"

#include "core/server_health.h"
#include "desk/service_connection_win.h"

namespace quorva {

StatusLine::StatusLine(JobsTab& jobsTab, TrayIcon& trayIcon, const Locale& locale)
    : jobsTab_(jobsTab), trayIcon_(trayIcon), locale_(locale) {
}

void StatusLine::showServiceAwaited() {
    jobsTab_.showCaptureStop(kServiceStopped);
}

void StatusLine::showCaptureStop(const std::string& text, bool serviceLost) {
    if (serviceLost)
        jobsTab_.showServerHealth("");
    // Once per loss, however long it lasts.
    if (captureStop_.empty() && !text.empty())
        trayIcon_.showBalloon(L"Quorva", locale_.ansiToWide(text));
    captureStop_ = text;
    jobsTab_.showCaptureStop(text);
}

void StatusLine::showStatus(const StatusUpdate& status) {
    showCaptureStop(status.capture, false);
    jobsTab_.showServerHealth(status.server);
    trayIcon_.setTip(status.pending == 0
                         ? std::wstring(L"Quorva")
                         : L"Quorva : " + locale_.ansiToWide(pendingInvoicesText(status.pending)));
    // Once per episode of failures that has lasted long enough.
    if (status.failing && !failingTold_)
        trayIcon_.showBalloon(L"Quorva", locale_.ansiToWide(status.server));
    failingTold_ = status.failing;
}

} // namespace quorva
