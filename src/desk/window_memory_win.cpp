#include "desk/window_memory_win.h"

#include "ui/window_placement.h"

namespace quorva {

void restoreWindow(const Registry& registry, HWND window, JobGrid& grid, int& showCommand) {
    const auto remembered = readRememberedWindow(registry);
    if (!remembered)
        return;
    grid.setColumnWidths(remembered->columnWidths);
    if (!restoreNormalRect(
            window, {remembered->left, remembered->top, remembered->right, remembered->bottom}))
        return;
    if (remembered->maximized &&
        (showCommand == SW_SHOWNORMAL || showCommand == SW_SHOW || showCommand == SW_SHOWDEFAULT))
        showCommand = SW_SHOWMAXIMIZED;
}

void rememberWindow(const Registry& registry, HWND window, const JobGrid& grid) {
    const auto placement = readNormalPlacement(window);
    if (!placement)
        return;
    const RECT& rect = placement->rect;
    rememberWindow(registry, {rect.left, rect.top, rect.right, rect.bottom, placement->maximized,
                              grid.columnWidths()});
}

} // namespace quorva
