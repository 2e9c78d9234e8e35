#pragma once

// The control that had the keyboard focus when the window was last deactivated, given the focus
// back when the window is activated again.

#include <windows.h>

namespace quorva {

class FocusMemory {
public:
    // The window is deactivated: remembers its child with the focus, if any.
    void remember(HWND window);
    // The window is activated: true when the remembered control, still there and visible, has
    // the focus again.
    bool restore(HWND window) const;

private:
    HWND lastFocus_ = nullptr;
};

} // namespace quorva
