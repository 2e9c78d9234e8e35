#pragma once

// Every private window message of the program, in one place so that no two share a number.

#include <windows.h>

namespace quorva {

// The watcher's worker hands a filled change buffer, or news of the folder, to the main window
// (wParam and lParam: see WatchEvent).
inline constexpr UINT kChangeBufferMessage = WM_APP + 1;
// A later start of the program asks the running one's window to come to the front.
inline constexpr UINT kAnotherStartMessage = WM_APP + 2;
// The sender tells the main window that a job's state changed (lParam: its key in the job store).
inline constexpr UINT kJobChangedMessage = WM_APP + 3;
// The notification-area icon's mouse messages (lParam: the mouse message).
inline constexpr UINT kTrayMessage = WM_APP + 4;

} // namespace quorva
