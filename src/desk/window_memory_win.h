#pragma once

// The main window put back where the user left it, and remembered again when it closes.

#include "desk/window_memory.h"
#include "ui/job_grid.h"

#include <windows.h>

namespace quorva {

// The job list's column widths as the user left them, and the window's restored rectangle when
// its screen still exists; showCommand becomes maximised when the window was.
void restoreWindow(const Registry& registry, HWND window, JobGrid& grid, int& showCommand);
void rememberWindow(const Registry& registry, HWND window, const JobGrid& grid);

} // namespace quorva
