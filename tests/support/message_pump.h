#pragma once

// Runs the calling thread's message loop for Windows tests: window messages, timers and the
// messages that other threads send.

#include <windows.h>

#include <algorithm>
#include <functional>

namespace quorva::testkit {

// Dispatches every message waiting now.
inline void pumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Pumps until `done` holds or `boundMs` have passed; returns `done()` at the end. The bound only
// keeps a broken test from hanging; no result depends on how long the wait took.
inline bool pumpUntil(const std::function<bool()>& done, DWORD boundMs = 15000) {
    const ULONGLONG end = GetTickCount64() + boundMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        MsgWaitForMultipleObjects(
            0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50)), QS_ALLINPUT);
        pumpMessages();
    }
    return true;
}

// Pumps for `ms` milliseconds, for something that must not happen.
inline void pumpFor(DWORD ms) {
    pumpUntil([] { return false; }, ms);
}

} // namespace quorva::testkit
