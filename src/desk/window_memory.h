#pragma once

// Where the user left the main window, and the widths they gave the job list's columns, kept per
// user under HKEY_CURRENT_USER\Software\Zentor\Quorva (the settings file's Options stay as they
// are).

#include "platform/registry.h"

#include <optional>
#include <vector>

namespace quorva {

inline constexpr char kWindowMemoryKey[] = "Software\\Zentor\\Quorva";

struct RememberedWindow {
    // The restored (not maximised) window's rectangle, as GetWindowPlacement gives it.
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool maximized = false;
    // In design units (pixels at 96 DPI), left to right; empty when none was kept.
    std::vector<int> columnWidths;

    bool operator==(const RememberedWindow&) const = default;
};

// Nothing when no window was remembered yet, or what is kept is incomplete.
std::optional<RememberedWindow> readRememberedWindow(const Registry& registry);
// False when the key cannot be written (nothing is reported: the window opens at its default
// place next time).
bool rememberWindow(const Registry& registry, const RememberedWindow& window);

} // namespace quorva
