#pragma once

// The messages between the capture service (quorva-capture.exe, which holds the capture core) and
// the desk (quorva.exe, the window showing the jobs), as JSON in UTF-8, one per frame (frame.h).

#include "capture/job.h"
#include "ipc/frame.h"
#include "platform/locale.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorva {

inline constexpr int kProtocolVersion = 1;

// Both ways, the first message each side sends. Its form, {"type":"hello","protocol":N,
// "version":"…"}, never changes, so that a desk and a service of any two versions can read each
// other's hello and tell the user what to update.
struct Hello {
    int protocol = kProtocolVersion;
    std::string version; // the program's version
};

// Service to desk.

// A job added or changed; the desk replaces the job it knows by that id.
struct JobUpdate {
    JobId id = kNoJob;
    Job job; // without its settled version, which only capture uses
    bool canSendAgain = false;
};

// The jobs and events known when the desk connected have all been sent.
struct SnapshotDone {};

struct EventAdded {
    std::string line;
};

struct EventsCleared {};

struct StatusUpdate {
    std::string capture;  // what keeps capture from working, empty when it works
    std::string server;   // the server-state line
    int pending = 0;      // invoices waiting
    bool failing = false; // uploads have failed long enough to tell the user
};

struct SearchResult {
    int request = 0; // the SearchRequest answered
    std::vector<JobId> ids;
};

// Desk to service.

struct SearchRequest {
    int request = 0; // chosen by the desk, given back in the SearchResult
    std::wstring text;
};

struct SendAgainRequest {
    JobId id = kNoJob;
};

using Message = std::variant<Hello, JobUpdate, SnapshotDone, EventAdded, EventsCleared,
                             StatusUpdate, SearchResult, SearchRequest, SendAgainRequest>;

// JSON text in UTF-8; the program's narrow (ANSI) texts are converted with the locale. Throws
// ProtocolError on a value the reader would refuse (a negative id, a text over its bound...).
std::string encodeMessage(const Message& message, const Locale& locale);

// The reverse. Throws ProtocolError on anything but exactly one of the messages above with valid
// values; fields it does not know are ignored, so that a newer peer can add some.
Message decodeMessage(std::string_view payload, const Locale& locale);

// The text shown when the service's hello names another protocol than the desk's.
std::string versionMismatchText(const Hello& service, const std::string& deskVersion);

} // namespace quorva
