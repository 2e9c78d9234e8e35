#include "desk/single_instance.h"

namespace quorva {

InstanceLock::InstanceLock(const wchar_t* name)
    : mutex_(CreateMutexW(nullptr, FALSE, name)),
      // A mutex that cannot be made at all must not keep the program from starting.
      first_(!mutex_ || GetLastError() != ERROR_ALREADY_EXISTS) {
}

bool bringRunningInstanceToFront(DWORD waitMs) {
    const ULONGLONG end = GetTickCount64() + waitMs;
    for (;;) {
        if (HWND window = FindWindowW(kMainWindowClass, nullptr)) {
            // This start was just launched by the user, so it may pass the foreground on.
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            AllowSetForegroundWindow(owner);
            return PostMessageW(window, kAnotherStartMessage, 0, 0) != FALSE;
        }
        if (GetTickCount64() >= end)
            return false;
        Sleep(100);
    }
}

} // namespace quorva
