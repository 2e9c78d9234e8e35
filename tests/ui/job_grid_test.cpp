// The job grid over a job table, under Wine: what the list view shows, header sorting with its
// mark, hit testing, the marked rows' colour and the events it raises.

#include "capture/job_table.h"
#include "platform/locale.h"
#include "support/fakes.h"
#include "support/message_pump.h"
#include "support/recording_message_boxes.h"
#include "ui/job_grid.h"
#include "ui/test_host.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace quorva {
namespace {

using testing::ManualClock;
using testing::RecordingMessageBoxes;
using testing::TestHost;

class JobGridTest : public ::testing::Test {
protected:
    void SetUp() override { grid.create(host, {5, 5, 860, 400}); }

    int addRow(const std::wstring& date, const std::wstring& name, const std::wstring& client) {
        const int row = table.appendRow();
        table.setCell(colChangeTime, row, date);
        table.setCell(colFileName, row, name);
        table.setCell(colCustomer, row, client);
        return row;
    }

    // What the list view shows in a cell, asked through its own message.
    std::wstring shown(int row, int listColumn) const {
        wchar_t buffer[256] = {};
        LVITEMW item{};
        item.iSubItem = listColumn;
        item.pszText = buffer;
        item.cchTextMax = 256;
        SendMessageW(grid.hwnd(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    std::vector<std::wstring> shownColumn(int listColumn) const {
        std::vector<std::wstring> texts;
        const int count = static_cast<int>(SendMessageW(grid.hwnd(), LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row)
            texts.push_back(shown(row, listColumn));
        return texts;
    }
    HWND header() const {
        return reinterpret_cast<HWND>(SendMessageW(grid.hwnd(), LVM_GETHEADER, 0, 0));
    }
    int headerFormat(int listColumn) const {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header(), HDM_GETITEMW, static_cast<WPARAM>(listColumn),
                     reinterpret_cast<LPARAM>(&item));
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }
    void clickHeader(int listColumn) {
        RECT rect{};
        SendMessageW(header(), HDM_GETITEMRECT, static_cast<WPARAM>(listColumn),
                     reinterpret_cast<LPARAM>(&rect));
        const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        SendMessageW(header(), WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageW(header(), WM_LBUTTONUP, 0, point);
    }
    RECT cellRect(int row, int listColumn) const {
        RECT rect{};
        rect.top = listColumn;
        rect.left = LVIR_LABEL;
        SendMessageW(grid.hwnd(), LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&rect));
        return rect;
    }

    RecordingMessageBoxes boxes;
    TestHost host{boxes};
    FixedLocale locale;
    ManualClock clock;
    JobTable table{locale, clock};
    JobGrid grid{table};
};

TEST_F(JobGridTest, ShowsTheShownColumnsWithTheirCaptionsAndWidths) {
    EXPECT_EQ(grid.shownColumns(), (std::vector<int>{0, 4, 5, 6, 7, 8, 9}));
    ASSERT_EQ(SendMessageW(header(), HDM_GETITEMCOUNT, 0, 0), 7);
    const auto& columns = jobColumns();
    for (int listColumn = 0; listColumn < 7; ++listColumn) {
        const JobColumnInfo& info = columns[static_cast<size_t>(grid.shownColumns()[listColumn])];
        wchar_t caption[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption;
        column.cchTextMax = 64;
        SendMessageW(grid.hwnd(), LVM_GETCOLUMNW, static_cast<WPARAM>(listColumn),
                     reinterpret_cast<LPARAM>(&column));
        EXPECT_STREQ(caption, info.caption);
        EXPECT_EQ(column.cx, info.width);
    }
    EXPECT_STREQ(columns[0].caption, L"Date Début");
    EXPECT_STREQ(columns[6].caption, L"N° Châssis");
    EXPECT_STREQ(columns[9].caption, L"État");
}

TEST_F(JobGridTest, RowsAppearAtTheBottomWithTheTableText) {
    addRow(L"07/12/2026 14:05:09", L"00012.spl", L"DUPONT");
    addRow(L"07/12/2026 15:00:00", L"00013.spl", L"MARTIN");
    // A later change of a cell is seen the next time the list view asks.
    table.setCell(colReportId, 0, L"4711");
    table.setCell(colChassis, 1, L"VF1AB000123456789");

    EXPECT_EQ(shownColumn(0),
              (std::vector<std::wstring>{L"07/12/2026 14:05:09", L"07/12/2026 15:00:00"}));
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"DUPONT", L"MARTIN"}));
    EXPECT_EQ(shownColumn(3), (std::vector<std::wstring>{L"", L"VF1AB000123456789"}));
    EXPECT_EQ(shownColumn(5), (std::vector<std::wstring>{L"4711", L""}));
    EXPECT_EQ(shown(5, 0), L""); // beyond the rows: nothing
}

TEST_F(JobGridTest, TheDateColumnStartsWithADescendingMarkAndNewRowsStillGoLast) {
    EXPECT_EQ(headerFormat(0), HDF_SORTDOWN);
    addRow(L"07/12/2026 14:00:00", L"a.spl", L"A");
    addRow(L"07/12/2026 16:00:00", L"b.spl", L"B");
    addRow(L"07/12/2026 15:00:00", L"c.spl", L"C");
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"A", L"B", L"C"}));
}

TEST_F(JobGridTest, HeaderClicksSortTheTableAndMoveTheMark) {
    addRow(L"07/12/2026 14:00:00", L"a.spl", L"Bernard");
    addRow(L"07/12/2026 16:00:00", L"b.spl", L"albert");
    addRow(L"07/12/2026 15:00:00", L"c.spl", L"Claude");

    clickHeader(1); // Nom Client
    EXPECT_EQ(table.sortColumn(), colCustomer);
    EXPECT_EQ(headerFormat(1), HDF_SORTUP);
    EXPECT_EQ(headerFormat(0), 0);
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"albert", L"Bernard", L"Claude"}));

    clickHeader(1);
    EXPECT_EQ(headerFormat(1), HDF_SORTDOWN);
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"Claude", L"Bernard", L"albert"}));

    clickHeader(0); // Date Début
    EXPECT_EQ(table.sortColumn(), colChangeTime);
    EXPECT_EQ(headerFormat(0), HDF_SORTUP);
    EXPECT_EQ(headerFormat(1), 0);
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"Bernard", L"Claude", L"albert"}));
}

TEST_F(JobGridTest, HitTestGivesTableColumnAndRowOrNothing) {
    addRow(L"07/12/2026 14:00:00", L"a.spl", L"A");
    addRow(L"07/12/2026 15:00:00", L"b.spl", L"B");

    const RECT client = cellRect(1, 2); // list column 2 is job column 5
    const GridCell cell = grid.hitTest({client.left + 3, (client.top + client.bottom) / 2});
    EXPECT_EQ(cell.column, colRegistration);
    EXPECT_EQ(cell.row, 1);

    const RECT first = cellRect(0, 0);
    const GridCell date = grid.hitTest({first.left + 3, first.top + 2});
    EXPECT_EQ(date.column, colChangeTime);
    EXPECT_EQ(date.row, 0);

    RECT headerRect{};
    GetClientRect(header(), &headerRect);
    const GridCell onHeader = grid.hitTest({20, headerRect.bottom / 2});
    EXPECT_EQ(onHeader.column, -1);
    EXPECT_EQ(onHeader.row, -1);

    const GridCell below = grid.hitTest({20, client.bottom + 60});
    EXPECT_EQ(below.column, -1);
    EXPECT_EQ(below.row, -1);
}

TEST_F(JobGridTest, MarkedRowsArePaintedInTheSelectionColour) {
    addRow(L"07/12/2026 14:00:00", L"a.spl", L"A");
    addRow(L"07/12/2026 15:00:00", L"b.spl", L"B");
    table.setMarked(1, true);

    RECT client{};
    GetClientRect(grid.hwnd(), &client);
    WindowDc screen(nullptr);
    MemoryDc dc(screen.get());
    Bitmap bitmap(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
    SelectedObject select(dc.get(), bitmap.get());
    SendMessageW(grid.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);

    // An empty cell of each row (Immat.), away from the grid lines.
    const RECT marked = cellRect(1, 2);
    const RECT plain = cellRect(0, 2);
    EXPECT_EQ(GetPixel(dc.get(), marked.left + 20, (marked.top + marked.bottom) / 2),
              GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetPixel(dc.get(), plain.left + 20, (plain.top + plain.bottom) / 2),
              GetSysColor(COLOR_WINDOW));
}

TEST_F(JobGridTest, ReportsMouseMovesClicksAndDeselection) {
    addRow(L"07/12/2026 14:00:00", L"a.spl", L"A");
    addRow(L"07/12/2026 15:00:00", L"b.spl", L"B");

    std::vector<POINT> moves;
    grid.onMouseMove = [&](int x, int y) { moves.push_back({x, y}); };
    SendMessageW(grid.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(17, 42));
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].x, 17);
    EXPECT_EQ(moves[0].y, 42);

    // A click as the list view reports it to its parent.
    std::vector<GridCell> clicks;
    grid.onCellClick = [&](int column, int row) { clicks.push_back({column, row}); };
    const RECT cell = cellRect(1, 1);
    NMITEMACTIVATE click{};
    click.hdr = {grid.hwnd(), static_cast<UINT_PTR>(grid.id()), static_cast<UINT>(NM_CLICK)};
    click.ptAction = {cell.left + 3, (cell.top + cell.bottom) / 2};
    SendMessageW(host.hwnd(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].column, colCustomer);
    EXPECT_EQ(clicks[0].row, 1);

    // The list view's selection moves from row 1 to row 0: row 1 is deselected.
    std::vector<GridCell> deselected;
    grid.onDeselectCell = [&](int column, int row) { deselected.push_back({column, row}); };
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageW(grid.hwnd(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    EXPECT_TRUE(deselected.empty());
    SendMessageW(grid.hwnd(), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    ASSERT_EQ(deselected.size(), 1u);
    EXPECT_EQ(deselected[0].column, colCustomer);
    EXPECT_EQ(deselected[0].row, 1);
}

TEST_F(JobGridTest, AnErrorInAGridEventIsShownAndTheGridGoesOn) {
    int moves = 0;
    grid.onMouseMove = [&](int, int) {
        if (++moves == 1)
            throw std::runtime_error("Cell out of bounds (4, 7)");
    };
    SendMessageW(grid.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    SendMessageW(grid.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(moves, 2);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Cell out of bounds (4, 7).");
    EXPECT_EQ(boxes.boxes[0].owner, host.hwnd());
}

} // namespace
} // namespace quorva
