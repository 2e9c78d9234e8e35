#include "service/capture_host_win.h"

#include "ipc/frame.h"
#include "platform/program_facts.h"
#include "platform/system_error.h"

namespace quorva {

namespace {

// The host window's private messages.
constexpr UINT kWatchMessage = WM_APP + 1;      // the watcher's hand-over (see WatchEvent)
constexpr UINT kJobChangedMessage = WM_APP + 2; // lParam: the job's key in the store
constexpr UINT kPipeMessage = WM_APP + 3;       // the pipe has events to take
constexpr unsigned kReminderIntervalMs = 60 * 1000;
constexpr wchar_t kHostClass[] = L"QuorvaCaptureHost";

} // namespace

CaptureHost::CaptureHost(CaptureHostServices services, MessageBoxes& errors)
    : Window(errors), clock_(services.clock), locale_(services.locale),
      readSettings_(std::move(services.readSettings)),
      core_({services.files, services.clock, services.locale, std::move(services.dataFolder),
             [this](std::int64_t key) {
                 PostMessageW(hwnd(), kJobChangedMessage, 0, static_cast<LPARAM>(key));
             },
             std::move(services.makeTransport)},
            *this, {}),
      itAlerts_(services.itLog, services.clock), pipe_(std::move(services.pipeName), kPipeMessage),
      settlingTimer_(*this, 500), storeRetryTimer_(*this, kRetryMs),
      watchRetryTimer_(*this, kRetryMs), reminderTimer_(*this, kReminderIntervalMs) {
    errors.setErrorSink(
        [this](const std::string& text) { core_.dailyLog().write("Erreur : " + text); });
    settlingTimer_.onTimer = [this] { onSettlingTick(); };
    storeRetryTimer_.onTimer = [this] { openCapture({}); };
    watchRetryTimer_.onTimer = [this] { startWatching(); };
    reminderTimer_.onTimer = [this] { publishStatus(); };
    core_.jobs().setListener(this);
}

CaptureHost::~CaptureHost() {
    destroy();
    core_.jobs().setListener(nullptr);
    messageBoxes().setErrorSink({});
}

void CaptureHost::start(const std::optional<std::string>& refusal) {
    create(kHostClass, HWND_MESSAGE, 0, 0, {}, L"Quorva");
    if (refusal) {
        captureStop_ = *refusal;
        pipe_.start(hwnd());
        return;
    }
    capturing_ = true;
    const HostSettings settings = readSettings_();
    core_.applySettings(settings.capture);
    openCapture(settings.startLine);
    if (!settings.printersWarning.empty())
        core_.addEvent(settings.printersWarning);
    reminderTimer_.setEnabled(true);
    pipe_.start(hwnd());
    publishStatus();
}

void CaptureHost::reloadSettings() {
    if (!capturing_)
        return;
    const HostSettings settings = readSettings_();
    const bool folderMoved = settings.capture.spoolFolder != core_.settings().spoolFolder;
    core_.applySettings(settings.capture);
    core_.dailyLog().write(settings.startLine);
    // The watcher and the poll read the same folder; none of them before the store opens.
    if (folderMoved && core_.isOpen())
        startWatching();
}

void CaptureHost::openCapture(const std::string& startLine) {
    const CaptureOpening opening = core_.open(startLine);
    if (!opening.news.empty())
        itAlerts_.storeUnavailable(opening.news);
    storeRetryTimer_.setEnabled(opening.result == CaptureOpening::Result::Waiting);
    // The store before the watcher, so that the history comes first; and no file is taken for
    // an old one while no store can tell.
    if (opening.result == CaptureOpening::Result::Open)
        startWatching();
}

void CaptureHost::OnDestroy() {
    pipe_.stop();
    core_.close();
    watcher_.stop();
}

// ---- The spool folder

void CaptureHost::startWatching() {
    const std::string folder = core_.settings().spoolFolder;
    const WatchStartResult result = watcher_.start(folder, hwnd(), kWatchMessage);
    if (!result.started) {
        // Told once per cause, then tried again until it works (a share mounted late, a folder
        // made by a driver's installer).
        if (watchFailure_ != result.errorText) {
            watchFailure_ = result.errorText;
            itAlerts_.spoolFolderLost(core_.onFolderLost(result.errorText));
        }
        watchRetryTimer_.setEnabled(true);
        return;
    }
    watchRetryTimer_.setEnabled(false);
    if (!watchFailure_.empty()) {
        watchFailure_.clear();
        statusChanged("");
    }
    // Read after the first read is armed: a file written in between has a record coming.
    if (core_.watchingStarted(watcher_.folder()))
        settlingTimer_.setEnabled(true);
}

void CaptureHost::onWatchEvent(WatchEvent event, unsigned long detail) {
    bool poll = false;
    switch (event) {
    case WatchEvent::Changes:
        poll = core_.onChanges(watcher_.buffer(), kChangeBufferSize, detail, watcher_.folder());
        break;
    case WatchEvent::FolderLost:
        itAlerts_.spoolFolderLost(core_.onFolderLost(systemErrorText(detail)));
        break;
    case WatchEvent::FolderBack:
        poll = core_.onFolderBack(watcher_.folder());
        break;
    }
    if (poll)
        settlingTimer_.setEnabled(true);
}

void CaptureHost::onSettlingTick() {
    // Off for the whole pass, so that a pass never starts inside another.
    settlingTimer_.setEnabled(false);
    core_.pollPass([this] { settlingTimer_.setEnabled(true); });
    // A job recorded in this pass waits to be sent.
    publishStatus();
}

void CaptureHost::OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kWatchMessage:
        onWatchEvent(static_cast<WatchEvent>(lParam), static_cast<unsigned long>(wParam));
        return;
    case kJobChangedMessage:
        if (const auto state = core_.onJobChanged(static_cast<std::int64_t>(lParam))) {
            itAlerts_.jobState(*state);
            if (*state == JobState::Failed)
                serverHealth_.failed(clock_.now());
            else if (*state == JobState::Sent || *state == JobState::Refused)
                serverHealth_.answered();
        }
        publishStatus();
        return;
    case kPipeMessage:
        onPipeEvents();
        return;
    default:
        return;
    }
}

// ---- What the desks see

void CaptureHost::eventAdded(const std::string& line) {
    broadcast(EventAdded{line});
}

void CaptureHost::eventsCleared() {
    broadcast(EventsCleared{});
}

void CaptureHost::statusChanged(const std::string& text) {
    captureStop_ = text;
    publishStatus();
}

void CaptureHost::jobChanged(JobId id) {
    broadcast(updateOf(id));
}

JobUpdate CaptureHost::updateOf(JobId id) const {
    return {id, core_.jobs().at(id), core_.canSendAgain(id)};
}

void CaptureHost::publishStatus() {
    const int pending = core_.pendingCount();
    StatusUpdate status{captureStop_, serverHealth_.text(pending), pending,
                        serverHealth_.failingLongEnough(clock_.now())};
    if (lastStatus_ && lastStatus_->capture == status.capture &&
        lastStatus_->server == status.server && lastStatus_->pending == status.pending &&
        lastStatus_->failing == status.failing)
        return;
    lastStatus_ = status;
    broadcast(status);
}

std::optional<std::string> CaptureHost::frameOf(const Message& message) {
    try {
        return encodeFrame(encodeMessage(message, locale_));
    } catch (const ProtocolError& e) {
        // Out of the protocol's bounds (a server's reason far too long): the desks miss this
        // news, capture goes on.
        core_.dailyLog().write("Message aux postes non envoyé : " + std::string(e.what()));
        return std::nullopt;
    }
}

void CaptureHost::broadcast(const Message& message) {
    if (ready_.empty())
        return;
    if (const auto frame = frameOf(message)) {
        for (const ClientId client : ready_)
            pipe_.send(client, *frame);
    }
}

void CaptureHost::send(ClientId client, const Message& message) {
    if (auto frame = frameOf(message))
        pipe_.send(client, std::move(*frame));
}

void CaptureHost::sendSnapshot(ClientId client) {
    for (JobId id = 0; id < core_.jobs().size(); ++id)
        send(client, updateOf(id));
    const int pending = core_.pendingCount();
    send(client, StatusUpdate{captureStop_, serverHealth_.text(pending), pending,
                              serverHealth_.failingLongEnough(clock_.now())});
    send(client, SnapshotDone{});
    ready_.insert(client);
}

void CaptureHost::onPipeEvents() {
    for (PipeEvent& event : pipe_.takeEvents()) {
        switch (event.kind) {
        case PipeEvent::Kind::Connected:
            send(event.client, Hello{kProtocolVersion, programVersion()});
            break;
        case PipeEvent::Kind::Gone:
            ready_.erase(event.client);
            break;
        case PipeEvent::Kind::Received:
            try {
                onRequest(event.client, decodeMessage(event.payload, locale_));
            } catch (const ProtocolError& e) {
                core_.dailyLog().write("Message d'un poste refusé : " + std::string(e.what()));
                ready_.erase(event.client);
                pipe_.disconnect(event.client);
            }
            break;
        }
    }
}

void CaptureHost::onRequest(ClientId client, const Message& message) {
    if (const auto* hello = std::get_if<Hello>(&message)) {
        // A desk of another protocol reads this side's hello, says so and stays away.
        if (hello->protocol != kProtocolVersion || ready_.count(client) != 0) {
            pipe_.disconnect(client);
            return;
        }
        sendSnapshot(client);
        return;
    }
    // Nothing before the hello.
    if (ready_.count(client) == 0)
        throw ProtocolError("requête avant la présentation");
    if (const auto* search = std::get_if<SearchRequest>(&message)) {
        send(client, SearchResult{search->request,
                                  capturing_ ? core_.search(search->text) : std::vector<JobId>{}});
    } else if (const auto* again = std::get_if<SendAgainRequest>(&message)) {
        // Only a job of this run that may be sent again; anything else is ignored.
        if (core_.canSendAgain(again->id))
            core_.sendAgain(again->id);
    } else {
        throw ProtocolError("message réservé au service");
    }
}

} // namespace quorva
