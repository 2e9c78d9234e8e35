#include "ui/job_grid.h"

#include "ui/layout.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

namespace quorva {

JobGrid::JobGrid(const JobList& jobs, const Locale& locale)
    : jobs_(jobs), locale_(locale), order_(jobs, locale) {
}

void JobGrid::create(Window& parent, const Bounds& bounds) {
    createControl(parent, WC_LISTVIEWW,
                  WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                      LVS_SHOWSELALWAYS,
                  WS_EX_CLIENTEDGE, bounds);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER;
    SendMessageW(hwnd(), LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);

    const auto& columns = jobColumns();
    for (int column = 0; column < kJobColumnCount; ++column) {
        const JobColumnInfo& info = columns[static_cast<size_t>(column)];
        std::wstring caption = info.caption;
        LVCOLUMNW lvColumn{};
        lvColumn.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        lvColumn.fmt = LVCFMT_LEFT;
        lvColumn.cx = info.width;
        lvColumn.pszText = caption.data();
        lvColumn.iSubItem = column;
        SendMessageW(hwnd(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&lvColumn));
    }
    for (JobId id = order_.rowCount(); id < jobs_.size(); ++id)
        order_.jobAdded(id);
    SendMessageW(hwnd(), LVM_SETITEMCOUNT, static_cast<WPARAM>(order_.rowCount()), 0);
    showSortMark();
}

void JobGrid::showOnly(const std::optional<std::vector<JobId>>& jobs) {
    order_.showOnly(jobs);
    showRowCount();
    if (selected_ != kNoJob && order_.rowOf(selected_) >= 0)
        selectJob(selected_);
}

void JobGrid::showRowCount() {
    SendMessageW(hwnd(), LVM_SETITEMCOUNT, static_cast<WPARAM>(order_.rowCount()), 0);
    InvalidateRect(hwnd(), nullptr, FALSE);
}

std::vector<int> JobGrid::columnWidths() const {
    std::vector<int> widths;
    for (int column = 0; column < kJobColumnCount; ++column)
        widths.push_back(MulDiv(static_cast<int>(SendMessageW(hwnd(), LVM_GETCOLUMNWIDTH,
                                                              static_cast<WPARAM>(column), 0)),
                                kDesignDpi, dpi_));
    return widths;
}

void JobGrid::setColumnWidths(const std::vector<int>& widths) {
    for (size_t column = 0; column < widths.size() && column < kJobColumnCount; ++column)
        SendMessageW(hwnd(), LVM_SETCOLUMNWIDTH, column, MulDiv(widths[column], dpi_, kDesignDpi));
}

void JobGrid::setDpi(int dpi) {
    const std::vector<int> widths = columnWidths();
    dpi_ = dpi;
    setColumnWidths(widths);
}

JobId JobGrid::jobAt(POINT client) const {
    // Rows scrolled up lie under the header: a point on the header is over no cell.
    RECT header{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(hwnd(), LVM_GETHEADER, 0, 0)), &header);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&header), 2);
    if (client.y < header.bottom)
        return kNoJob;
    LVHITTESTINFO info{};
    info.pt = client;
    const int row = static_cast<int>(
        SendMessageW(hwnd(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if ((info.flags & LVHT_ONITEM) == 0 || info.iSubItem < 0 || info.iSubItem >= kJobColumnCount)
        return kNoJob;
    return order_.jobAt(row);
}

int JobGrid::focusedRow() const {
    return static_cast<int>(
        SendMessageW(hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void JobGrid::selectJob(JobId id) {
    const int row = order_.rowOf(id);
    if (row < 0)
        return;
    selecting_ = true;
    LVITEMW item{};
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    selecting_ = false;
    const JobId before = std::exchange(selected_, id);
    redrawJob(before);
    redrawJob(id);
}

void JobGrid::setSelected(JobId id, bool byKeyboard) {
    selectJob(id);
    if (onSelectionChanged)
        onSelectionChanged(id, byKeyboard);
}

LRESULT JobGrid::handleNotify(NMHDR& header) {
    switch (header.code) {
    case LVN_GETDISPINFOW:
        fillCellText(reinterpret_cast<NMLVDISPINFOW&>(header));
        return 0;
    case LVN_COLUMNCLICK: {
        const int column = reinterpret_cast<NMLISTVIEW&>(header).iSubItem;
        if (column >= 0 && column < kJobColumnCount) {
            order_.sortByColumn(static_cast<JobColumn>(column));
            showSortMark();
            InvalidateRect(hwnd(), nullptr, FALSE);
            // The selection stays with its job, wherever the sort put it.
            if (selected_ != kNoJob)
                selectJob(selected_);
        }
        return 0;
    }
    case NM_CUSTOMDRAW:
        return customDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
    case NM_CLICK: {
        const JobId id = jobAt(reinterpret_cast<NMITEMACTIVATE&>(header).ptAction);
        if (id != kNoJob && onJobClick)
            onJobClick(id);
        return 0;
    }
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        const bool deselected =
            (change.uOldState & LVIS_SELECTED) != 0 && (change.uNewState & LVIS_SELECTED) == 0;
        if (deselected && onDeselect)
            onDeselect();
        const bool focused =
            (change.uOldState & LVIS_FOCUSED) == 0 && (change.uNewState & LVIS_FOCUSED) != 0;
        // The arrow keys, Home, End and the page keys move the focus: the selection follows.
        if (focused && !selecting_ && GetFocus() == hwnd()) {
            const JobId id = order_.jobAt(change.iItem);
            if (id != kNoJob && id != selected_)
                setSelected(id, true);
        }
        return 0;
    }
    default:
        return 0;
    }
}

bool JobGrid::handleOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_MOUSEMOVE) {
        const JobId id = jobAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (id == kNoJob) {
            // Off the rows: the highlight stays on the last job.
            if (onPointerOffRows)
                onPointerOffRows();
        } else if (id != selected_) {
            setSelected(id, false);
        }
        return false; // the list view still tracks the pointer itself
    }
    if (message == WM_KEYDOWN && wParam == VK_RETURN && onEnter) {
        if (selected_ != kNoJob)
            onEnter(selected_);
        result = 0;
        return true;
    }
    if (message == WM_GETDLGCODE && wParam == VK_RETURN && onEnter) {
        // Enter is the grid's, not the dialog keys' default button.
        result = DLGC_WANTALLKEYS | DefSubclassProc(hwnd(), message, wParam, lParam);
        return true;
    }
    if (message == WM_CONTEXTMENU && popupMenu_ != nullptr) {
        showPopupMenu(lParam);
        result = 0;
        return true;
    }
    return false;
}

void JobGrid::showPopupMenu(LPARAM screenPoint) {
    POINT point{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    if (point.x == -1 && point.y == -1) {
        // From the keyboard: for the focused job, at its row, or at the grid's corner.
        const int row = focusedRow();
        if (const JobId id = order_.jobAt(row); id != kNoJob)
            setSelected(id, true);
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        if (row < 0 || SendMessageW(hwnd(), LVM_GETITEMRECT, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(&rect)) == FALSE)
            rect = {};
        point = {rect.left, rect.bottom};
        ClientToScreen(hwnd(), &point);
    }
    if (onPopup)
        onPopup();
    popupMenu_->track(GetAncestor(hwnd(), GA_ROOT), point);
}

void JobGrid::fillCellText(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    item.pszText[0] = L'\0';
    const JobId id = order_.jobAt(item.iItem);
    if (id == kNoJob || item.iSubItem < 0 || item.iSubItem >= kJobColumnCount)
        return;
    const std::wstring text =
        jobCellText(jobs_.at(id), static_cast<JobColumn>(item.iSubItem), locale_);
    const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
    std::copy_n(text.data(), length, item.pszText);
    item.pszText[length] = L'\0';
}

LRESULT JobGrid::customDraw(NMLVCUSTOMDRAW& draw) const {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        const JobId id = order_.jobAt(static_cast<int>(draw.nmcd.dwItemSpec));
        // The list's own selection would be drawn pale grey while another control has the
        // focus: the selected job is drawn in the highlight colour instead, always.
        draw.nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED);
        if (id != kNoJob && id == selected_) {
            draw.clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
            draw.clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

void JobGrid::showSortMark() {
    HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd(), LVM_GETHEADER, 0, 0));
    for (int column = 0; column < kJobColumnCount; ++column) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (static_cast<JobColumn>(column) == order_.sortColumn())
            item.fmt |= order_.sortDescending() ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&item));
    }
}

void JobGrid::redrawJob(JobId id) const {
    const int row = order_.rowOf(id);
    if (row >= 0 && hwnd() != nullptr)
        SendMessageW(hwnd(), LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
}

void JobGrid::jobAdded(JobId id) {
    order_.jobAdded(id);
    if (hwnd() != nullptr)
        SendMessageW(hwnd(), LVM_SETITEMCOUNT, static_cast<WPARAM>(order_.rowCount()),
                     LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void JobGrid::jobChanged(JobId id) {
    redrawJob(id);
}

void JobGrid::jobsCleared() {
    selected_ = kNoJob;
    order_.showOnly(std::nullopt);
    if (hwnd() != nullptr)
        showRowCount();
}

} // namespace quorva
