#pragma once

// The job grid: a report-style list view over the job table. The list view holds no data of its
// own (LVS_OWNERDATA): it asks the grid for each cell's text, and the table tells the grid what
// changed. Only the shown columns are added, so the name, size and check-count columns never
// appear; list-view column numbers are mapped back to job-table column numbers everywhere.

#include "capture/job_table.h"
#include "ui/popup_menu.h"
#include "ui/window.h"

#include <commctrl.h>

#include <functional>
#include <vector>

namespace quorva {

// A job-table column and row; -1 for either when the point is over no cell.
struct GridCell {
    int column = -1;
    int row = -1;
};

class JobGrid final : public Control, private JobTableListener {
public:
    explicit JobGrid(JobTable& table);
    ~JobGrid() override;

    void create(Window& parent, const Bounds& bounds);

    JobTable& table() const { return table_; }
    // Job-table column numbers of the list-view columns, left to right.
    const std::vector<int>& shownColumns() const { return shownColumns_; }

    // The cell under a point of the grid's client area.
    GridCell hitTest(POINT client) const;
    // The row that has the keyboard focus in the grid, -1 when none.
    int currentRow() const;
    // Focuses and selects the row, so that the list's own selection colour is never left on
    // another row than the one the program marks.
    void setCurrentRow(int row);

    // The menu shown on a right click (or the menu key) over the grid; null for none.
    void setPopupMenu(PopupMenu* menu) { popupMenu_ = menu; }
    PopupMenu* popupMenu() const { return popupMenu_; }

    std::function<void(int column, int row)> onCellClick;
    // The selected row lost the selection; the column is that of the last clicked cell.
    std::function<void(int column, int row)> onDeselectCell;
    // The pointer moved over the grid, in client coordinates.
    std::function<void(int x, int y)> onMouseMove;
    // A header click sorted the rows.
    std::function<void()> onSorted;

private:
    LRESULT handleNotify(NMHDR& header) override;
    bool handleOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    void rowAppended(int row) override;
    void cellChanged(int column, int row) override;
    void rowsReordered() override;
    void markChanged(int row) override;

    void fillCellText(NMLVDISPINFOW& info) const;
    LRESULT customDraw(NMLVCUSTOMDRAW& draw) const;
    void showSortMark();
    void redrawRow(int row) const;
    void showPopupMenu(LPARAM screenPoint);

    JobTable& table_;
    std::vector<int> shownColumns_;
    PopupMenu* popupMenu_ = nullptr;
    GridCell lastClicked_;
};

} // namespace quorva
