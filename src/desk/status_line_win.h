#pragma once

// What the service says of capture and of the server, on the line under the job list and in the
// notification area: the icon's tip counts the invoices waiting, and a balloon tells once when
// capture stops and once per episode of upload failures that has lasted long enough.

#include "desk/jobs_tab.h"
#include "ipc/protocol.h"
#include "platform/locale.h"
#include "ui/tray_icon.h"

#include <string>

namespace quorva {

class StatusLine {
public:
    StatusLine(JobsTab& jobsTab, TrayIcon& trayIcon, const Locale& locale);

    // Until the service first answers: the line says it is not there, with no balloon.
    void showServiceAwaited();
    // What keeps capture from working, empty while it works; a balloon when it starts. Once the
    // service is lost, the server's health goes from the line too.
    void showCaptureStop(const std::string& text, bool serviceLost);
    void showStatus(const StatusUpdate& status);

private:
    JobsTab& jobsTab_;
    TrayIcon& trayIcon_;
    const Locale& locale_;
    std::string captureStop_;
    bool failingTold_ = false;
};

} // namespace quorva
