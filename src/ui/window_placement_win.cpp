#include "ui/window_placement.h"

#include <algorithm>

namespace quorva {

namespace {

RECT workAreaOf(HMONITOR screen) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(screen, &monitor);
    return monitor.rcWork;
}

// The one clamp: rect shrunk to the work area's size, then moved into it.
RECT fitInto(const RECT& rect, const RECT& work) {
    const LONG width = std::min(rect.right - rect.left, work.right - work.left);
    const LONG height = std::min(rect.bottom - rect.top, work.bottom - work.top);
    const LONG left = std::clamp(rect.left, work.left, work.right - width);
    const LONG top = std::clamp(rect.top, work.top, work.bottom - height);
    return {left, top, left + width, top + height};
}

} // namespace

void centreInWorkArea(HWND window, SIZE frame) {
    const RECT work = workAreaOf(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY));
    const LONG left = work.left + (work.right - work.left - frame.cx) / 2;
    const LONG top = work.top + (work.bottom - work.top - frame.cy) / 2;
    const RECT placed = fitInto({left, top, left + frame.cx, top + frame.cy}, work);
    SetWindowPos(window, nullptr, placed.left, placed.top, placed.right - placed.left,
                 placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool restoreNormalRect(HWND window, const RECT& rect) {
    const HMONITOR screen = MonitorFromRect(&rect, MONITOR_DEFAULTTONULL);
    if (screen == nullptr)
        return false;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    placement.flags = 0;
    placement.showCmd = SW_HIDE;
    placement.rcNormalPosition = fitInto(rect, workAreaOf(screen));
    SetWindowPlacement(window, &placement);
    return true;
}

std::optional<NormalPlacement> readNormalPlacement(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return std::nullopt;
    // Hidden in the notification area, the window is still maximised when its flag says so.
    return NormalPlacement{placement.rcNormalPosition,
                           placement.showCmd == SW_SHOWMAXIMIZED ||
                               (placement.flags & WPF_RESTORETOMAXIMIZED) != 0};
}

} // namespace quorva
