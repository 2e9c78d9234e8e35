#pragma once

// Failures that need IT rather than the desk's user, told to the Windows Application event log
// under the source "Quorva" (the setup programs register it), where monitoring tools look: the
// spool folder lost, jobs failing for more than an hour, a job store that cannot be opened.

#include "core/failure_episode.h"
#include "platform/clock.h"
#include "store/job_state.h"

#include <string>

namespace quorva {

inline constexpr char kEventSource[] = "Quorva";

// The events' ids, stable for IT's filters; the message table of quorva.exe words each as its
// one inserted text.
enum class ItEvent : unsigned {
    SpoolFolderLost = 1,
    JobsFailing = 2,
    StoreUnavailable = 3,
    JobVanished = 4
};

class ItEventLog {
public:
    virtual ~ItEventLog() = default;
    // An error entry; a log that cannot be written loses it.
    virtual void report(ItEvent event, const std::string& text) = 0;
};

class ItAlerts {
public:
    static constexpr int kFailingSeconds = 3600;

    ItAlerts(ItEventLog& log, const Clock& clock) : log_(log), clock_(clock) {}

    void spoolFolderLost(const std::string& text) { log_.report(ItEvent::SpoolFolderLost, text); }
    void storeUnavailable(const std::string& text) { log_.report(ItEvent::StoreUnavailable, text); }
    void jobVanished(const std::string& text) { log_.report(ItEvent::JobVanished, text); }
    // A job's new state. Transfers failing, with none sent since, for more than kFailingSeconds
    // are told once; a job sent starts the count again.
    void jobState(JobState state);

private:
    ItEventLog& log_;
    const Clock& clock_;
    FailureEpisode episode_;
    bool told_ = false;
};

#ifdef _WIN32
// The Application event log (RegisterEventSource, ReportEvent).
ItEventLog& systemItEventLog();
#endif

} // namespace quorva
