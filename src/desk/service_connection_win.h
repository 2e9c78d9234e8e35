#pragma once

// The desk's side of the capture service: the pipe client, the protocol's hand-shake, and the
// desk's copy of the service's jobs. The service's job ids are the positions of its own list in
// its run; the copy keeps its own ids (those of its JobList) and maps between the two.
//
// Threads: the window's thread owns it; the pipe client's thread only carries frames and posts
// the window's message, after which the window calls takeEvents.

#include "capture/job_list.h"
#include "desk/capture_client_win.h"
#include "ipc/protocol.h"
#include "platform/locale.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorva {

// What the desk says while the service is not there.
inline constexpr char kServiceStopped[] = "Service de capture arrêté";

class ServiceConnection {
public:
    // What the service's news does on the desk.
    struct Handlers {
        // A job not yet settled changed: the poll is running.
        std::function<void()> onJobSettling;
        std::function<void(const std::string& line)> onEventAdded;
        // The service cleared its event lines, or a new connection brings them all again.
        std::function<void()> onEventsCleared;
        std::function<void(const StatusUpdate&)> onStatus;
        // The jobs a search found, or nothing when the whole list shows again.
        std::function<void(const std::optional<std::vector<JobId>>&)> onFound;
        // Capture stopped for the desk (the service speaks another protocol, or it is gone):
        // the text says why; lost tells the service is gone.
        std::function<void(const std::string& text, bool lost)> onStopped;
    };

    ServiceConnection(std::wstring pipeName, UINT message, const Locale& locale, Handlers handlers);

    // Starts connecting; the window receives the message for each batch of news.
    void start(HWND window);
    void stop();
    // The batch of news the message announced.
    void takeEvents();
    // One message of the service, as the pipe brings it.
    void receive(const Message& message);

    // The jobs as the service last told them.
    const JobList& jobs() const { return jobs_; }
    JobList& jobs() { return jobs_; }
    // Whether the service's snapshot has arrived since the last connection.
    bool connected() const { return snapshotDone_; }
    bool canSendAgain(JobId id) const { return jobs_.contains(id) && canSendAgain_.at(id); }

    void sendAgain(JobId id);
    // Asks the service for the jobs that match; an empty text shows the whole list again.
    void search(const std::wstring& text);

private:
    void send(const Message& message);
    void restart();
    void applyUpdate(const JobUpdate& update);
    void showFound(const SearchResult& found);
    void lose();

    const Locale& locale_;
    Handlers handlers_;
    CaptureClient client_;
    JobList jobs_;
    // By this list's id: the job's id in the service, and whether it may be sent again.
    std::vector<JobId> serviceIds_;
    std::vector<bool> canSendAgain_;
    // By the service's id: this list's id, or kNoJob.
    std::vector<JobId> byServiceId_;
    bool snapshotDone_ = false;
    // The service speaks another protocol: this text says so until it is updated.
    std::string mismatch_;
    int lastSearch_ = 0;
};

} // namespace quorva
