#include "ui/job_grid.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

namespace quorva {

JobGrid::JobGrid(JobTable& table) : table_(table) {
}

JobGrid::~JobGrid() {
    table_.setListener(nullptr);
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
        if (!info.shown)
            continue;
        std::wstring caption = info.caption;
        LVCOLUMNW lvColumn{};
        lvColumn.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        lvColumn.fmt = LVCFMT_LEFT;
        lvColumn.cx = info.width;
        lvColumn.pszText = caption.data();
        lvColumn.iSubItem = static_cast<int>(shownColumns_.size());
        SendMessageW(hwnd(), LVM_INSERTCOLUMNW, shownColumns_.size(),
                     reinterpret_cast<LPARAM>(&lvColumn));
        shownColumns_.push_back(column);
    }
    SendMessageW(hwnd(), LVM_SETITEMCOUNT, static_cast<WPARAM>(table_.rowCount()), 0);
    showSortMark();
    table_.setListener(this);
}

GridCell JobGrid::hitTest(POINT client) const {
    // Rows scrolled up lie under the header: a point on the header is over no cell.
    RECT header{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(hwnd(), LVM_GETHEADER, 0, 0)), &header);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&header), 2);
    if (client.y < header.bottom)
        return {};
    LVHITTESTINFO info{};
    info.pt = client;
    const int row = static_cast<int>(
        SendMessageW(hwnd(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (row < 0 || row >= table_.rowCount() || (info.flags & LVHT_ONITEM) == 0 ||
        info.iSubItem < 0 || info.iSubItem >= static_cast<int>(shownColumns_.size()))
        return {};
    return {shownColumns_[static_cast<size_t>(info.iSubItem)], row};
}

int JobGrid::currentRow() const {
    return static_cast<int>(
        SendMessageW(hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void JobGrid::setCurrentRow(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

LRESULT JobGrid::handleNotify(NMHDR& header) {
    switch (header.code) {
    case LVN_GETDISPINFOW:
        fillCellText(reinterpret_cast<NMLVDISPINFOW&>(header));
        return 0;
    case LVN_COLUMNCLICK: {
        const int shown = reinterpret_cast<NMLISTVIEW&>(header).iSubItem;
        if (shown >= 0 && shown < static_cast<int>(shownColumns_.size())) {
            table_.sortByColumn(shownColumns_[static_cast<size_t>(shown)]);
            if (onSorted)
                onSorted();
        }
        return 0;
    }
    case NM_CUSTOMDRAW:
        return customDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
    case NM_CLICK: {
        const GridCell cell = hitTest(reinterpret_cast<NMITEMACTIVATE&>(header).ptAction);
        if (cell.row >= 0) {
            lastClicked_ = cell;
            if (onCellClick)
                onCellClick(cell.column, cell.row);
        }
        return 0;
    }
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        const bool deselected =
            (change.uOldState & LVIS_SELECTED) != 0 && (change.uNewState & LVIS_SELECTED) == 0;
        // Item -1 stands for all items: the one that was selected is the last clicked.
        const int row = change.iItem >= 0 ? change.iItem : lastClicked_.row;
        if (deselected && row >= 0 && onDeselectCell)
            onDeselectCell(std::max(lastClicked_.column, 0), row);
        return 0;
    }
    default:
        return 0;
    }
}

bool JobGrid::handleOwnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message == WM_MOUSEMOVE) {
        if (onMouseMove)
            onMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return false; // the list view still tracks the pointer itself
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
        // From the keyboard: at the current row, or at the grid's corner.
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        const int row = currentRow();
        if (row < 0 || SendMessageW(hwnd(), LVM_GETITEMRECT, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(&rect)) == FALSE)
            rect = {};
        point = {rect.left, rect.bottom};
        ClientToScreen(hwnd(), &point);
    }
    popupMenu_->track(GetAncestor(hwnd(), GA_ROOT), point);
}

void JobGrid::fillCellText(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    item.pszText[0] = L'\0';
    if (item.iItem < 0 || item.iItem >= table_.rowCount() || item.iSubItem < 0 ||
        item.iSubItem >= static_cast<int>(shownColumns_.size()))
        return;
    const std::wstring text =
        table_.cell(shownColumns_[static_cast<size_t>(item.iSubItem)], item.iItem);
    const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
    std::copy_n(text.data(), length, item.pszText);
    item.pszText[length] = L'\0';
}

LRESULT JobGrid::customDraw(NMLVCUSTOMDRAW& draw) const {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        const int row = static_cast<int>(draw.nmcd.dwItemSpec);
        if (row < table_.rowCount() && table_.isMarked(row)) {
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
    for (size_t shown = 0; shown < shownColumns_.size(); ++shown) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, shown, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (shownColumns_[shown] == table_.sortColumn())
            item.fmt |= table_.sortDescending() ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, shown, reinterpret_cast<LPARAM>(&item));
    }
}

void JobGrid::redrawRow(int row) const {
    SendMessageW(hwnd(), LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
}

void JobGrid::rowAppended(int) {
    SendMessageW(hwnd(), LVM_SETITEMCOUNT, static_cast<WPARAM>(table_.rowCount()),
                 LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void JobGrid::cellChanged(int, int row) {
    redrawRow(row);
}

void JobGrid::rowsReordered() {
    showSortMark();
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void JobGrid::markChanged(int row) {
    redrawRow(row);
}

} // namespace quorva
