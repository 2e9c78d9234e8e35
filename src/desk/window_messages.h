#pragma once

// Every private window message of the program, in one place so that no two share a number.

#include <windows.h>

namespace quorva {

// The capture service's pipe has news for the main window (CaptureClient::takeEvents).
inline constexpr UINT kCaptureMessage = WM_APP + 1;
// A later start of the program asks the running one's window to come to the front.
inline constexpr UINT kAnotherStartMessage = WM_APP + 2;
// The notification-area icon's mouse messages (lParam: the mouse message).
inline constexpr UINT kTrayMessage = WM_APP + 4;

} // namespace quorva
