#pragma once

// "À propos de Quorva": an item of the main window's system menu that shows the program's
// version, as the build wrote it into the version resource from git describe.

#include "ui/message_box.h"

#include <windows.h>

#include <string>

namespace quorva {

// The item's command; system-menu commands keep their four low bits clear.
inline constexpr UINT kAboutCommand = 0x0010;

// Appends the item, after a separator, to the window's system menu.
void addAboutItem(HWND window);

// The about box, owned by `owner`.
void showAbout(MessageBoxes& boxes, HWND owner);

} // namespace quorva
