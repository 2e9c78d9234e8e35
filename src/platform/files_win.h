#pragma once

// Windows only: files and folders opened as themselves, never through a link.

#include "platform/unique_handle_win.h"

#include <windows.h>

#include <string>

namespace quorva {

// The file or folder at `path` itself: a junction or link at the end of the path is opened, not
// followed. Throws Error "Impossible d'ouvrir <path> : <reason>".
UniqueHandle openAsItself(const std::string& path, DWORD access, DWORD share);

} // namespace quorva
