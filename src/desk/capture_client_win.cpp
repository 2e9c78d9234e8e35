#include "desk/capture_client_win.h"

#include "ipc/pipe_connection_win.h"

#include <utility>

namespace quorva {

CaptureClient::CaptureClient(std::wstring pipeName, UINT message)
    : pipeName_(std::move(pipeName)), worker_(message) {
}

CaptureClient::~CaptureClient() {
    stop();
}

void CaptureClient::start(HWND window) {
    worker_.start(window, [this] { run(); });
}

void CaptureClient::stop() {
    worker_.stop();
}

void CaptureClient::send(std::string frame) {
    worker_.queue(std::move(frame));
}

std::vector<ClientEvent> CaptureClient::takeEvents() {
    return worker_.takeEvents();
}

void CaptureClient::run() {
    bool lostTold = false;
    const auto lost = [&] {
        if (!lostTold)
            worker_.post({ClientEvent::Kind::Lost, {}});
        lostTold = true;
    };
    for (;;) {
        // Only the service's identity is lent to it, never the user's rights.
        UniqueHandle pipe(CreateFileW(
            pipeName_.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (!pipe) {
            lost();
            if (WaitForSingleObject(worker_.stopEvent(), kRetryMs) != WAIT_TIMEOUT)
                return;
            continue;
        }
        PipeConnection connection(std::move(pipe));
        // Requests made while nothing was connected belonged to the lost connection.
        worker_.takeOutgoing();
        if (!connection.startRead()) {
            lost();
            continue;
        }
        lostTold = false;
        worker_.post({ClientEvent::Kind::Connected, {}});
        bool alive = true;
        while (alive) {
            const HANDLE waits[] = {worker_.stopEvent(), worker_.wakeEvent(),
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
                    worker_.post({ClientEvent::Kind::Received, std::move(payload)});
                continue;
            }
            if (woke == WAIT_OBJECT_0 + 1) {
                for (std::string& frame : worker_.takeOutgoing())
                    alive = alive && connection.queue(std::move(frame));
            }
            alive = alive && connection.pumpWrites();
        }
        lost();
        if (WaitForSingleObject(worker_.stopEvent(), kRetryMs) != WAIT_TIMEOUT)
            return;
    }
}

} // namespace quorva
