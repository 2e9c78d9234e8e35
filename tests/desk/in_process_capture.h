#pragma once

// The capture service's host, run in the test's process on a thread of its own, with its own
// pipe name: the desk connects to it as it does to the service.

#include "core/it_alerts.h"
#include "service/capture_host_win.h"
#include "support/recording_message_boxes.h"

#include <windows.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

namespace quorva::testkit {

class SilentItLog final : public ItEventLog {
public:
    void report(ItEvent, const std::string&) override {}
};

class InProcessCapture {
public:
    explicit InProcessCapture(CaptureHostServices services) {
        std::promise<void> started;
        auto ready = started.get_future();
        thread_ = std::thread([this, services = std::move(services), &started]() mutable {
            threadId_ = GetCurrentThreadId();
            RecordingMessageBoxes errors;
            CaptureHost host(std::move(services), errors);
            try {
                host.start();
                started.set_value();
            } catch (...) {
                started.set_exception(std::current_exception());
                return;
            }
            MSG message{};
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (message.hwnd == nullptr && message.message == kReloadMessage) {
                    host.reloadSettings();
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        });
        try {
            ready.get();
        } catch (...) {
            thread_.join();
            throw;
        }
    }
    ~InProcessCapture() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    // The machine's settings changed: the host reads them again, as the service does.
    void reloadSettings() { PostThreadMessageW(threadId_, kReloadMessage, 0, 0); }
    InProcessCapture(const InProcessCapture&) = delete;
    InProcessCapture& operator=(const InProcessCapture&) = delete;

    // A pipe name of the test's own.
    static std::wstring uniquePipeName() {
        static std::atomic<int> counter{0};
        return L"\\\\.\\pipe\\QuorvaTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter);
    }

private:
    static constexpr UINT kReloadMessage = WM_APP + 100;

    std::atomic<DWORD> threadId_{0};
    std::thread thread_;
};

} // namespace quorva::testkit
