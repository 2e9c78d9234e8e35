#pragma once

// Where a top-level window goes on the screens: centred in its screen's work area when it opens,
// or back where the user left it. Either way it is never larger than that work area nor out of it,
// whatever the screen and its scaling.

#include <windows.h>

#include <optional>

namespace quorva {

// The window's restored (not maximised) rectangle, and whether it was maximised.
struct NormalPlacement {
    RECT rect{};
    bool maximized = false;
};

// Centres the window, its frame that size, in the work area of the screen it is on.
void centreInWorkArea(HWND window, SIZE frame);
// Makes rect the window's restored rectangle, moved and shrunk into the work area of the screen
// it lies on, without showing the window; false when no screen shows rect any more (one since
// unplugged).
bool restoreNormalRect(HWND window, const RECT& rect);
// Nothing when the system cannot tell.
std::optional<NormalPlacement> readNormalPlacement(HWND window);

} // namespace quorva
