#pragma once

// One desk window per session: a second start of the program (a double-click too many, the
// logon's start plus a shortcut) brings the first one's window to the front instead. The first
// start holds a per-session named mutex; a later one finds the first one's window by its class,
// asks it to come to the front, and ends.

#include "desk/window_messages.h"
#include "platform/unique_handle_win.h"

#include <windows.h>

namespace quorva {

// The main window's class, to which a later start posts kAnotherStartMessage.
inline constexpr const wchar_t* kMainWindowClass = L"QuorvaMainWindow";

class InstanceLock {
public:
    // Takes the session's mutex of that name (held until destruction).
    explicit InstanceLock(const wchar_t* name = L"Local\\Quorva.Instance");

    // No other start of the program holds the mutex.
    bool first() const { return first_; }

private:
    UniqueHandle mutex_;
    bool first_;
};

// Lets the running start's window take the foreground and asks it to; waits up to `waitMs` for
// that window while the first start is still opening it. False when it never appeared.
bool bringRunningInstanceToFront(DWORD waitMs = 10000);

} // namespace quorva
