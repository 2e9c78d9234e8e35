#pragma once

// The capture as the service runs it: the capture core, the spool-folder watcher and the
// settling poll on one thread with a message-only window, and the pipe that every desk reads.
//
//   watcher thread ──SendMessage──▶ ┐
//   sender thread ──PostMessage──▶  ├─ host's thread: CaptureCore, timers ──▶ PipeServer ──▶ desks
//   pipe thread ──PostMessage──▶    ┘        (requests: search, send again)
//
// A desk gets, once its hello shows the same protocol, every listed job, the event lines and the
// status; after that each change is pushed as it happens. Nothing a desk sends does more than its
// message allows: a request names a job of this run, a search a bounded text.

#include "capture/spool_watcher.h"
#include "core/capture_core.h"
#include "core/it_alerts.h"
#include "core/server_health.h"
#include "ipc/protocol.h"
#include "service/pipe_server_win.h"
#include "ui/timer.h"
#include "ui/window.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace quorva {

// The capture settings as the machine gives them now, and the daily log's line that says so.
struct HostSettings {
    CaptureSettings capture;
    std::string startLine;
    // Said once at start: printers whose printed jobs the spooler deletes. Empty when none.
    std::string printersWarning = {};
};

struct CaptureHostServices {
    const Files& files;
    const Clock& clock;
    const Locale& locale;
    ItEventLog& itLog;
    // The folder of the job store, the outbox and the logs, already checked as the service's.
    std::string dataFolder;
    std::wstring pipeName;
    std::function<HostSettings()> readSettings;
    // The sender's transport; nothing: HTTP to the report server.
    std::function<std::unique_ptr<Transport>()> makeTransport = {};
};

class CaptureHost final : public Window, private CaptureObserver, private JobListListener {
public:
    // How often a job store that could not be opened, or a spool folder that could not be
    // watched, is tried again.
    static constexpr unsigned kRetryMs = 5000;

    CaptureHost(CaptureHostServices services, MessageBoxes& errors);
    ~CaptureHost() override;

    // Opens the store, starts watching and serves the pipe, on the calling thread, whose message
    // loop must run. With a refusal (the data folder is not the service's alone), it captures
    // nothing and only tells the desks why. A store that cannot be opened yet is tried again
    // until it opens, the desks told why capture waits. Throws Error when the pipe's name is
    // taken.
    void start(const std::optional<std::string>& refusal = std::nullopt);
    // The machine's capture settings changed: read and applied without a restart.
    void reloadSettings();

    const CaptureCore& core() const { return core_; }

private:
    // CaptureObserver
    void eventAdded(const std::string& line) override;
    void eventsCleared() override;
    void statusChanged(const std::string& text) override;
    void jobVanished(const std::string& text) override { itAlerts_.jobVanished(text); }
    // JobListListener
    void jobAdded(JobId id) override { jobChanged(id); }
    void jobChanged(JobId id) override;

    void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnDestroy() override;

    // Opens the capture core, then watches; or tries again later.
    void openCapture(const std::string& startLine);
    void startWatching();
    void onWatchEvent(WatchEvent event, unsigned long detail);
    void onSettlingTick();
    void onPipeEvents();
    void onRequest(ClientId client, const Message& message);
    void sendSnapshot(ClientId client);
    // The message's frame; nothing, and a line in the log, when it breaks the protocol's bounds.
    std::optional<std::string> frameOf(const Message& message);
    void broadcast(const Message& message);
    void send(ClientId client, const Message& message);
    void publishStatus();
    JobUpdate updateOf(JobId id) const;

    const Clock& clock_;
    const Locale& locale_;
    std::function<HostSettings()> readSettings_;
    CaptureCore core_;
    ItAlerts itAlerts_;
    ServerHealth serverHealth_;
    SpoolWatcher watcher_;
    PipeServer pipe_;
    Timer settlingTimer_;
    Timer storeRetryTimer_;
    Timer watchRetryTimer_;
    // Once a minute: whether uploads have failed long enough to tell the desks.
    Timer reminderTimer_;
    std::string watchFailure_;
    std::string captureStop_;
    // The desks that said hello in this protocol and got their snapshot.
    std::set<ClientId> ready_;
    std::optional<StatusUpdate> lastStatus_;
    bool capturing_ = false;
};

} // namespace quorva
