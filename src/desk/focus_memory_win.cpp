#include "desk/focus_memory.h"

namespace quorva {

void FocusMemory::remember(HWND window) {
    const HWND focus = GetFocus();
    lastFocus_ = focus != nullptr && IsChild(window, focus) ? focus : nullptr;
}

bool FocusMemory::restore(HWND window) const {
    if (lastFocus_ == nullptr || !IsWindow(lastFocus_) || !IsChild(window, lastFocus_) ||
        !IsWindowVisible(lastFocus_))
        return false;
    SetFocus(lastFocus_);
    return true;
}

} // namespace quorva
