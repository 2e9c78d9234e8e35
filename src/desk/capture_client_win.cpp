#include "desk/capture_client_win.h"

#include "ipc/pipe_connection_win.h"

#include <mutex>
#include <utility>

namespace quorva {

struct CaptureClient::Shared {
    std::mutex mutex;
    UniqueHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::vector<std::string> outgoing;
    std::vector<ClientEvent> events;
};

CaptureClient::CaptureClient(std::wstring pipeName, UINT message)
    : pipeName_(std::move(pipeName)), message_(message), shared_(std::make_shared<Shared>()) {
}

CaptureClient::~CaptureClient() {
    stop();
}

void CaptureClient::start(HWND window) {
    window_ = window;
    thread_ = std::thread(&CaptureClient::run, this);
}

void CaptureClient::stop() {
    if (!thread_.joinable())
        return;
    SetEvent(shared_->stop.get());
    thread_.join();
}

void CaptureClient::send(std::string frame) {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->outgoing.push_back(std::move(frame));
    }
    SetEvent(shared_->wake.get());
}

std::vector<ClientEvent> CaptureClient::takeEvents() {
    const std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->events, {});
}

void CaptureClient::run() {
    const auto post = [&](ClientEvent event) {
        bool first = false;
        {
            const std::lock_guard lock(shared_->mutex);
            first = shared_->events.empty();
            shared_->events.push_back(std::move(event));
        }
        if (first)
            PostMessageW(window_, message_, 0, 0);
    };
    bool lostTold = false;
    const auto lost = [&] {
        if (!lostTold)
            post({ClientEvent::Kind::Lost, {}});
        lostTold = true;
    };
    for (;;) {
        // Only the service's identity is lent to it, never the user's rights.
        UniqueHandle pipe(CreateFileW(
            pipeName_.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (!pipe) {
            lost();
            if (WaitForSingleObject(shared_->stop.get(), kRetryMs) != WAIT_TIMEOUT)
                return;
            continue;
        }
        PipeConnection connection(std::move(pipe));
        {
            // Requests made while nothing was connected belonged to the lost connection.
            const std::lock_guard lock(shared_->mutex);
            shared_->outgoing.clear();
        }
        if (!connection.startRead()) {
            lost();
            continue;
        }
        lostTold = false;
        post({ClientEvent::Kind::Connected, {}});
        bool alive = true;
        while (alive) {
            const HANDLE waits[] = {shared_->stop.get(), shared_->wake.get(),
                                    connection.readEvent(), connection.writeEvent()};
            const DWORD woke = WaitForMultipleObjects(4, waits, FALSE, INFINITE);
            if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)
                return;
            if (woke == WAIT_OBJECT_0 + 2) {
                std::vector<std::string> payloads;
                try {
                    alive = connection.finishRead(payloads);
                } catch (const std::exception&) {
                    alive = false; // the service broke the frames: connect anew
                }
                for (std::string& payload : payloads)
                    post({ClientEvent::Kind::Received, std::move(payload)});
                continue;
            }
            if (woke == WAIT_OBJECT_0 + 1) {
                std::vector<std::string> outgoing;
                {
                    const std::lock_guard lock(shared_->mutex);
                    outgoing.swap(shared_->outgoing);
                }
                for (std::string& frame : outgoing)
                    alive = alive && connection.queue(std::move(frame));
            }
            alive = alive && connection.pumpWrites();
        }
        lost();
        if (WaitForSingleObject(shared_->stop.get(), kRetryMs) != WAIT_TIMEOUT)
            return;
    }
}

} // namespace quorva
