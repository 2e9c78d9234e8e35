#include "desk/service_connection_win.h"

#include "platform/program_facts.h"

namespace quorva {

ServiceConnection::ServiceConnection(std::wstring pipeName, UINT message, const Locale& locale,
                                     Handlers handlers)
    : locale_(locale), handlers_(std::move(handlers)), client_(std::move(pipeName), message) {
}

void ServiceConnection::start(HWND window) {
    client_.start(window);
}

void ServiceConnection::stop() {
    client_.stop();
}

void ServiceConnection::takeEvents() {
    for (ClientEvent& event : client_.takeEvents()) {
        switch (event.kind) {
        case ClientEvent::Kind::Connected:
            send(Hello{kProtocolVersion, programVersion()});
            break;
        case ClientEvent::Kind::Lost:
            lose();
            break;
        case ClientEvent::Kind::Received:
            try {
                receive(decodeMessage(event.payload, locale_));
            } catch (const ProtocolError&) {
                // A service that breaks the protocol is not listened to; it is tried again.
                lose();
            }
            break;
        }
    }
}

void ServiceConnection::receive(const Message& message) {
    if (const auto* hello = std::get_if<Hello>(&message)) {
        if (hello->protocol != kProtocolVersion) {
            mismatch_ = versionMismatchText(*hello, programVersion());
            handlers_.onStopped(mismatch_, false);
            return;
        }
        mismatch_.clear();
        restart();
        return;
    }
    if (!mismatch_.empty())
        return;
    if (const auto* update = std::get_if<JobUpdate>(&message)) {
        applyUpdate(*update);
    } else if (std::holds_alternative<SnapshotDone>(message)) {
        snapshotDone_ = true;
    } else if (const auto* event = std::get_if<EventAdded>(&message)) {
        handlers_.onEventAdded(event->line);
    } else if (std::holds_alternative<EventsCleared>(message)) {
        handlers_.onEventsCleared();
    } else if (const auto* status = std::get_if<StatusUpdate>(&message)) {
        handlers_.onStatus(*status);
    } else if (const auto* found = std::get_if<SearchResult>(&message)) {
        showFound(*found);
    }
}

// A new connection: the service's ids are its run's, so the copy starts again.
void ServiceConnection::restart() {
    snapshotDone_ = false;
    jobs_.clear();
    serviceIds_.clear();
    canSendAgain_.clear();
    byServiceId_.clear();
    handlers_.onEventsCleared();
}

void ServiceConnection::applyUpdate(const JobUpdate& update) {
    const auto serviceId = static_cast<std::size_t>(update.id);
    if (serviceId >= byServiceId_.size())
        byServiceId_.resize(serviceId + 1, kNoJob);
    JobId& id = byServiceId_[serviceId];
    if (id == kNoJob) {
        // Flags first: the grid asks about the job as soon as it is added.
        serviceIds_.push_back(update.id);
        canSendAgain_.push_back(update.canSendAgain);
        id = jobs_.add(update.job);
    } else {
        canSendAgain_.at(static_cast<std::size_t>(id)) = update.canSendAgain;
        jobs_.update(id, [&](Job& job) { job = update.job; });
    }
    if (!update.job.done() && !update.job.fromHistory)
        handlers_.onJobSettling();
}

void ServiceConnection::showFound(const SearchResult& found) {
    // An answer to a search the user has since changed is stale.
    if (found.request != lastSearch_)
        return;
    std::vector<JobId> ids;
    for (const JobId serviceId : found.ids) {
        if (serviceId >= 0 && serviceId < static_cast<JobId>(byServiceId_.size()) &&
            byServiceId_[static_cast<std::size_t>(serviceId)] != kNoJob)
            ids.push_back(byServiceId_[static_cast<std::size_t>(serviceId)]);
    }
    handlers_.onFound(ids);
}

void ServiceConnection::lose() {
    snapshotDone_ = false;
    handlers_.onStopped(mismatch_.empty() ? std::string(kServiceStopped) : mismatch_, true);
}

void ServiceConnection::sendAgain(JobId id) {
    send(SendAgainRequest{serviceIds_.at(static_cast<std::size_t>(id))});
}

void ServiceConnection::search(const std::wstring& text) {
    ++lastSearch_;
    if (text.empty())
        handlers_.onFound(std::nullopt);
    else
        send(SearchRequest{lastSearch_, text});
}

void ServiceConnection::send(const Message& message) {
    client_.send(encodeFrame(encodeMessage(message, locale_)));
}

} // namespace quorva
