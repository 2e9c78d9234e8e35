#pragma once

// Quorva's main job needs administrator rights: reading the spooler's folder, writing the
// printers' keys under HKLM and restarting the spooler. Its manifest asks for the highest rights
// the user has, so an administrator runs it elevated; a standard user runs it with their own
// rights, and is told at start what that means rather than meeting silent failures.

#include "ui/message_box.h"

#include <windows.h>

namespace quorva {

// Says, in a warning box owned by `owner`, what Quorva cannot do without administrator rights,
// when it runs without them.
void warnWithoutAdministratorRights(MessageBoxes& boxes, HWND owner);

} // namespace quorva
