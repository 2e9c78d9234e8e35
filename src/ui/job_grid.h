#pragma once

// The job grid: a report-style list view over the capture core's jobs. The list view holds no
// data of its own (LVS_OWNERDATA): it asks the grid for each cell's text, and the job list tells
// the grid what changed. The grid keeps its own row order (JobOrder) and one selected job, which
// the pointer (hovering) and the keyboard (moving the focus) both move; the selected job's row is
// drawn in the highlight colour whether or not the list has the focus.

#include "capture/job_list.h"
#include "ui/job_order.h"
#include "ui/popup_menu.h"
#include "ui/window.h"

#include <commctrl.h>

#include <functional>
#include <optional>
#include <vector>

namespace quorva {

class JobGrid final : public Control, public JobListListener {
public:
    JobGrid(const JobList& jobs, const Locale& locale);

    void create(Window& parent, const Bounds& bounds);

    const JobOrder& order() const { return order_; }

    // The job in the row under a point of the grid's client area; kNoJob over no row's cell.
    JobId jobAt(POINT client) const;
    // The selected job; kNoJob before the first.
    JobId selectedJob() const { return selected_; }
    // Selects the job: its row gets the focus, the list's selection and the highlight.
    void selectJob(JobId id);

    // The rows show only these jobs (a search's), or the listed jobs again with nothing. The
    // selection stays with its job when that job is still shown.
    void showOnly(const std::optional<std::vector<JobId>>& jobs);

    // The columns' widths in design units (pixels at 96 DPI), left to right; setting them
    // scales them to the grid's DPI.
    std::vector<int> columnWidths() const;
    void setColumnWidths(const std::vector<int>& widths);
    // The grid moved to another DPI: the columns keep their widths in design units.
    void setDpi(int dpi);

    // The menu shown on a right click, the menu key or Shift+F10; null for none.
    void setPopupMenu(PopupMenu* menu) { popupMenu_ = menu; }

    // The selected job changed; `byKeyboard`: the focus moved to it.
    std::function<void(JobId id, bool byKeyboard)> onSelectionChanged;
    // The pointer is over no row.
    std::function<void()> onPointerOffRows;
    // A click on a job's row.
    std::function<void(JobId id)> onJobClick;
    // The list's selection left a job's row.
    std::function<void()> onDeselect;
    // Enter on the selected job.
    std::function<void(JobId id)> onEnter;
    // The popup menu is about to show, for the selected job.
    std::function<void()> onPopup;

    // JobListListener
    void jobAdded(JobId id) override;
    void jobChanged(JobId id) override;
    void jobsCleared() override;

private:
    LRESULT handleNotify(NMHDR& header) override;
    bool handleOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    int focusedRow() const;
    void setSelected(JobId id, bool byKeyboard);
    void fillCellText(NMLVDISPINFOW& info) const;
    LRESULT customDraw(NMLVCUSTOMDRAW& draw) const;
    void showSortMark();
    void redrawJob(JobId id) const;
    void showPopupMenu(LPARAM screenPoint);
    void showRowCount();

    const JobList& jobs_;
    const Locale& locale_;
    JobOrder order_;
    JobId selected_ = kNoJob;
    PopupMenu* popupMenu_ = nullptr;
    int dpi_ = 96; // the DPI the columns' widths are at
    // Focus changes the grid makes itself are not the keyboard's.
    bool selecting_ = false;
};

} // namespace quorva
