// The job grid over a job list, under Wine: what the list view shows, header sorting with its
// mark, hit testing, the selected job's colour and the events it raises.

#include "capture/job_list.h"
#include "platform/locale.h"
#include "support/message_pump.h"
#include "support/recording_message_boxes.h"
#include "ui/controls.h"
#include "ui/gdi.h"
#include "ui/job_grid.h"
#include "ui/test_host.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorva {
namespace {

using testkit::RecordingMessageBoxes;
using testkit::TestHost;

class JobGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        jobs.setListener(&grid);
        grid.create(host, {5, 5, 860, 400});
    }

    // A job changed on 7 December 2026 at `hour`:`minute`.
    JobId addJob(int hour, int minute, const std::wstring& customer) {
        Job job;
        job.changedAt = {2026, 12, 7, hour, minute, 0, 0};
        job.customer = customer;
        return jobs.add(std::move(job));
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

    // A point in the middle of a row's cell, in the grid's client area.
    POINT inCell(int row, int listColumn) const {
        const RECT rect = cellRect(row, listColumn);
        return {rect.left + 3, (rect.top + rect.bottom) / 2};
    }
    void hover(POINT point) const {
        SendMessageW(grid.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
    }

    RecordingMessageBoxes boxes;
    TestHost host{boxes};
    FixedLocale locale;
    JobList jobs;
    JobGrid grid{jobs, locale};
};

TEST_F(JobGridTest, ShowsTheShownColumnsWithTheirCaptionsAndWidths) {
    ASSERT_EQ(SendMessageW(header(), HDM_GETITEMCOUNT, 0, 0), kJobColumnCount);
    const auto& columns = jobColumns();
    for (int listColumn = 0; listColumn < kJobColumnCount; ++listColumn) {
        const JobColumnInfo& info = columns[static_cast<size_t>(listColumn)];
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
    EXPECT_STREQ(columns[3].caption, L"N° Châssis");
    EXPECT_STREQ(columns[6].caption, L"État");
}

TEST_F(JobGridTest, JobsAppearAtTheBottomWithTheirText) {
    addJob(14, 5, L"DUPONT");
    addJob(15, 0, L"MARTIN");
    // A later change of a job is seen the next time the list view asks.
    jobs.update(0, [](Job& job) { job.reportId = "4711"; });
    jobs.update(1, [](Job& job) { job.chassis = L"VF1AB000123456789"; });

    EXPECT_EQ(shownColumn(0),
              (std::vector<std::wstring>{L"07/12/2026 14:05:00", L"07/12/2026 15:00:00"}));
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"DUPONT", L"MARTIN"}));
    EXPECT_EQ(shownColumn(3), (std::vector<std::wstring>{L"", L"VF1AB000123456789"}));
    EXPECT_EQ(shownColumn(5), (std::vector<std::wstring>{L"4711", L""}));
    EXPECT_EQ(shown(5, 0), L""); // beyond the rows: nothing
}

TEST_F(JobGridTest, TheDateColumnStartsWithADescendingMarkAndNewRowsStillGoLast) {
    EXPECT_EQ(headerFormat(0), HDF_SORTDOWN);
    addJob(14, 0, L"A");
    addJob(16, 0, L"B");
    addJob(15, 0, L"C");
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"A", L"B", L"C"}));
}

TEST_F(JobGridTest, HeaderClicksSortTheRowsAndMoveTheMark) {
    addJob(14, 0, L"Bernard");
    addJob(16, 0, L"albert");
    addJob(15, 0, L"Claude");

    clickHeader(1); // Nom Client
    EXPECT_EQ(grid.order().sortColumn(), JobColumn::Customer);
    EXPECT_EQ(headerFormat(1), HDF_SORTUP);
    EXPECT_EQ(headerFormat(0), 0);
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"albert", L"Bernard", L"Claude"}));

    clickHeader(1);
    EXPECT_EQ(headerFormat(1), HDF_SORTDOWN);
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"Claude", L"Bernard", L"albert"}));

    clickHeader(0); // Date Début
    EXPECT_EQ(grid.order().sortColumn(), JobColumn::ChangeTime);
    EXPECT_EQ(headerFormat(0), HDF_SORTUP);
    EXPECT_EQ(headerFormat(1), 0);
    EXPECT_EQ(shownColumn(1), (std::vector<std::wstring>{L"Bernard", L"Claude", L"albert"}));
}

TEST_F(JobGridTest, HitTestGivesTheJobOfTheRowOrNothing) {
    addJob(14, 0, L"A");
    addJob(15, 0, L"B");
    clickHeader(1);
    clickHeader(1); // by name, descending: B above A

    EXPECT_EQ(grid.jobAt(inCell(1, 2)), 0);
    const RECT first = cellRect(0, 0);
    EXPECT_EQ(grid.jobAt({first.left + 3, first.top + 2}), 1);

    RECT headerRect{};
    GetClientRect(header(), &headerRect);
    EXPECT_EQ(grid.jobAt({20, headerRect.bottom / 2}), kNoJob);
    EXPECT_EQ(grid.jobAt({20, cellRect(1, 0).bottom + 60}), kNoJob);
}

// The list view draws its own selection pale while another control has the focus: the hovered
// job must stay in the highlight colour.
TEST_F(JobGridTest, TheSelectedJobIsPaintedInTheHighlightColourWhileAnotherControlHasTheFocus) {
    Edit edit;
    edit.create(host, {5, 420, 200, 24});
    addJob(14, 0, L"A");
    addJob(15, 0, L"B");
    host.show();
    SetFocus(edit.hwnd());
    hover(inCell(1, 1));
    ASSERT_EQ(grid.selectedJob(), 1);
    ASSERT_EQ(GetFocus(), edit.hwnd());
    RedrawWindow(grid.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);

    // An empty cell of each row (Immat.), away from the grid lines, as the screen shows it.
    const WindowDc screen(grid.hwnd());
    const auto colourIn = [&](int row) {
        const RECT cell = cellRect(row, 2);
        return GetPixel(screen.get(), cell.left + 20, (cell.top + cell.bottom) / 2);
    };
    EXPECT_EQ(colourIn(1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(colourIn(0), GetSysColor(COLOR_WINDOW));
}

TEST_F(JobGridTest, ReportsHoversClicksAndDeselection) {
    addJob(14, 0, L"A");
    addJob(15, 0, L"B");

    std::vector<std::pair<JobId, bool>> selections;
    grid.onSelectionChanged = [&](JobId id, bool byKeyboard) {
        selections.emplace_back(id, byKeyboard);
    };
    int offRows = 0;
    grid.onPointerOffRows = [&] { ++offRows; };
    hover(inCell(1, 3));
    hover(inCell(1, 4)); // the same job
    RECT headerRect{};
    GetClientRect(header(), &headerRect);
    hover({20, headerRect.bottom / 2});
    EXPECT_EQ(selections, (std::vector<std::pair<JobId, bool>>{{1, false}}));
    EXPECT_EQ(offRows, 1);
    EXPECT_EQ(grid.selectedJob(), 1);

    // A click as the list view reports it to its parent.
    std::vector<JobId> clicks;
    grid.onJobClick = [&](JobId id) { clicks.push_back(id); };
    NMITEMACTIVATE click{};
    click.hdr = {grid.hwnd(), static_cast<UINT_PTR>(grid.id()), static_cast<UINT>(NM_CLICK)};
    click.ptAction = inCell(0, 1);
    SendMessageW(host.hwnd(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(clicks, std::vector<JobId>{0});

    // The list view's selection moves from row 1 to row 0: row 1 is deselected.
    int deselected = 0;
    grid.onDeselect = [&] { ++deselected; };
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageW(grid.hwnd(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(deselected, 0);
    SendMessageW(grid.hwnd(), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(deselected, 1);
}

TEST_F(JobGridTest, AnErrorInAGridEventIsShownAndTheGridGoesOn) {
    addJob(14, 0, L"A");
    addJob(15, 0, L"B");
    int selections = 0;
    grid.onSelectionChanged = [&](JobId, bool) {
        if (++selections == 1)
            throw std::runtime_error("Cell out of bounds (4, 7)");
    };
    hover(inCell(0, 1));
    hover(inCell(1, 1));
    EXPECT_EQ(selections, 2);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Cell out of bounds (4, 7).");
    EXPECT_EQ(boxes.boxes[0].owner, host.hwnd());
}

} // namespace
} // namespace quorva
