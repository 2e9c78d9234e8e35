#include "capture/job_table.h"

#include "platform/error.h"
#include "support/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

namespace quorva {
namespace {

using testing::ManualClock;

class JobTableTest : public ::testing::Test {
protected:
    int addRow(const std::wstring& name, const std::wstring& start = L"07/12/2026 14:05:09") {
        const int row = table.appendRow();
        table.setCell(colChangeTime, row, start);
        table.setCell(colFileName, row, name);
        return row;
    }
    std::vector<std::wstring> column(int col) const {
        std::vector<std::wstring> values;
        for (int row = 0; row < table.rowCount(); ++row)
            values.push_back(table.cell(col, row));
        return values;
    }

    FixedLocale locale;
    ManualClock clock;
    JobTable table{locale, clock};
};

TEST_F(JobTableTest, NewRowIsEmptyAtTheBottom) {
    addRow(L"a.spl");
    const int row = table.appendRow();
    EXPECT_EQ(row, 1);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cell(colChangeTime, row), L"");
    EXPECT_EQ(table.cell(colFileName, row), L"");
    EXPECT_EQ(table.cell(colSize, row), L"0");
    EXPECT_EQ(table.cell(colReportId, row), L"");
}

TEST_F(JobTableTest, DateCellReadsBackInTheShownForm) {
    struct Case {
        const wchar_t* written;
        const wchar_t* read;
    };
    const Case cases[] = {
        {L"07/12/2026 14:05:09", L"07/12/2026 14:05:09"},
        {L"7/12/2026 4:05:09", L"07/12/2026 04:05:09"},
        {L"07/12/2026 00:00:00", L"07/12/2026"}, // no time part at exactly midnight
        {L"07/12/2026", L"07/12/2026"},
        {L"31/02/2026 10:00:00", L"30/12/1899"}, // not a date: the zero date-time
        {L"hier", L"30/12/1899"},
        {L"", L"30/12/1899"},
    };
    const int row = table.appendRow();
    for (const Case& c : cases) {
        SCOPED_TRACE(locale.wideToAnsi(c.written));
        table.setCell(colChangeTime, row, c.written);
        EXPECT_EQ(table.cell(colChangeTime, row), c.read);
    }
}

TEST_F(JobTableTest, DateCellFollowsTheRegionalFormats) {
    FixedLocale iso("yyyy-MM-dd", "-", "H.mm.ss", ".");
    JobTable isoTable(iso, clock);
    const int row = isoTable.appendRow();
    isoTable.setCell(colChangeTime, row, L"2026-12-07 9.05.09");
    EXPECT_EQ(isoTable.cell(colChangeTime, row), L"2026-12-07 9.05.09");
    isoTable.setCell(colChangeTime, row, L"07/12/2026 09:05:09");
    EXPECT_EQ(isoTable.cell(colChangeTime, row), L"1899-12-30");
}

TEST_F(JobTableTest, NumberCellsHoldDecimalIntegers) {
    const int row = table.appendRow();
    const std::pair<const wchar_t*, const wchar_t*> accepted[] = {
        {L"0", L"0"},   {L"-1", L"-1"}, {L"12345", L"12345"},
        {L"007", L"7"}, {L"+6", L"6"},  {L"9223372036854775807", L"9223372036854775807"},
    };
    for (const auto& [written, read] : accepted) {
        for (int col : {colSize, colSteadyReadings}) {
            table.setCell(col, row, written);
            EXPECT_EQ(table.cell(col, row), read);
        }
    }
    table.setCell(colSize, row, L"42");
    for (const wchar_t* bad :
         {L"", L"-", L"abc", L"1.5", L"1 000", L" 5", L"12a", L"9223372036854775808"}) {
        SCOPED_TRACE(locale.wideToAnsi(bad));
        EXPECT_THROW(table.setCell(colSize, row, bad), Error);
        EXPECT_EQ(table.cell(colSize, row), L"42");
    }
}

TEST_F(JobTableTest, TextCellsAreKeptUnchanged) {
    const int row = table.appendRow();
    for (int col :
         {colFileName, colCustomer, colRegistration, colChassis, colDocument, colReportId}) {
        const std::wstring text = L"  M DUPONT \u00c9lodie 0xF8:\u00b0 " + std::to_wstring(col);
        table.setCell(col, row, text);
        EXPECT_EQ(table.cell(col, row), text);
    }
}

TEST_F(JobTableTest, CheckedReadOutOfRangeNamesTheCell) {
    addRow(L"a.spl");
    const std::pair<int, int> outside[] = {{kJobColumnCount, 0}, {-1, 0}, {0, 1}, {4, -1}};
    for (const auto& [col, row] : outside) {
        const std::string expected =
            "Cell out of bounds (" + std::to_string(col) + ", " + std::to_string(row) + ")";
        try {
            table.checkedCell(col, row);
            ADD_FAILURE() << "no error for " << expected;
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), expected);
        }
        EXPECT_THROW(table.setCell(col, row, L"x"), Error);
        EXPECT_EQ(table.cell(col, row), L"");
    }
    EXPECT_EQ(table.checkedCell(colFileName, 0), L"a.spl");
}

TEST_F(JobTableTest, FilePathJoinsFolderAndName) {
    addRow(L"fact\u00e9.spl");
    EXPECT_EQ(table.filePath("C:\\Spool", 0), "C:\\Spool\\fact\xe9.spl");
    EXPECT_THROW(table.filePath("C:\\Spool", 1), Error);
}

TEST_F(JobTableTest, LookupComparesTheWholeNameExactly) {
    addRow(L"00012.spl");
    addRow(L"00013.spl");
    EXPECT_EQ(table.findByName(L"00012.spl"), 0);
    EXPECT_EQ(table.findByName(L"00013.spl"), 1);
    EXPECT_EQ(table.findByName(L"00012.SPL"), -1);
    EXPECT_EQ(table.findByName(L"00012"), -1);
    EXPECT_EQ(table.findByName(L"00012.spl "), -1);
}

TEST_F(JobTableTest, LookupAgreesWithAWalkOfTheWholeTable) {
    // Random appends, renames and sorts; after each step the index must give what a walk from
    // the first to the last row gives, the last match winning.
    const std::wstring names[] = {L"a.spl", L"b.spl", L"c.spl", L"", L"A.spl"};
    const int sortable[] = {colChangeTime, colCustomer, colReportId};
    std::mt19937 random(1234);
    const auto pick = [&random](int n) {
        return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    for (int step = 0; step < 400; ++step) {
        switch (pick(4)) {
        case 0:
            table.appendRow();
            break;
        case 1:
        case 2:
            if (table.rowCount() > 0) {
                const int row = pick(table.rowCount());
                table.setCell(colFileName, row, names[pick(5)]);
                table.setCell(colCustomer, row, names[pick(5)]);
                table.setCell(colChangeTime, row,
                              L"0" + std::to_wstring(1 + pick(9)) + L"/12/2026");
            }
            break;
        default:
            table.sortByColumn(sortable[pick(3)]);
            break;
        }
        for (const std::wstring& name : names) {
            int walked = -1;
            for (int row = 0; row < table.rowCount(); ++row) {
                if (table.cell(colFileName, row) == name)
                    walked = row;
            }
            ASSERT_EQ(table.findByName(name), walked)
                << "step " << step << " name " << locale.wideToAnsi(name);
        }
    }
}

TEST_F(JobTableTest, AppendingNeverReorders) {
    ASSERT_EQ(table.sortColumn(), colChangeTime);
    ASSERT_TRUE(table.sortDescending());
    addRow(L"b.spl", L"07/12/2026 10:00:00");
    addRow(L"a.spl", L"07/12/2026 12:00:00");
    addRow(L"c.spl", L"07/12/2026 11:00:00");
    table.setCell(colChangeTime, 0, L"08/12/2026 09:00:00");
    EXPECT_THAT(column(colFileName), ::testing::ElementsAre(L"b.spl", L"a.spl", L"c.spl"));
}

TEST_F(JobTableTest, DateColumnSortsByValueBothWays) {
    // In text order "02/01/2027" would come before "10/12/2026".
    addRow(L"late.spl", L"02/01/2027 08:00:00");
    addRow(L"early.spl", L"10/12/2026 08:00:00");
    addRow(L"noon.spl", L"10/12/2026 12:00:00");
    addRow(L"bad.spl", L"pas une date");

    table.sortByColumn(colChangeTime); // the mark was descending: the click reverses it
    EXPECT_FALSE(table.sortDescending());
    EXPECT_THAT(column(colFileName),
                ::testing::ElementsAre(L"bad.spl", L"early.spl", L"noon.spl", L"late.spl"));

    table.sortByColumn(colChangeTime);
    EXPECT_TRUE(table.sortDescending());
    EXPECT_THAT(column(colFileName),
                ::testing::ElementsAre(L"late.spl", L"noon.spl", L"early.spl", L"bad.spl"));
    EXPECT_EQ(table.findByName(L"late.spl"), 0);
    EXPECT_EQ(table.findByName(L"bad.spl"), 3);
}

TEST_F(JobTableTest, TextColumnSortsAlphabeticallyIgnoringCase) {
    const wchar_t* clients[] = {L"b garage", L"\u00c9lodie", L"Abd", L"abc", L"", L"\u00e9mile"};
    for (int i = 0; i < 6; ++i) {
        addRow(L"r" + std::to_wstring(i) + L".spl");
        table.setCell(colCustomer, i, clients[i]);
    }
    table.sortByColumn(colCustomer);
    EXPECT_EQ(table.sortColumn(), colCustomer);
    EXPECT_FALSE(table.sortDescending());
    EXPECT_THAT(column(colCustomer), ::testing::ElementsAre(L"", L"abc", L"Abd", L"b garage",
                                                            L"\u00c9lodie", L"\u00e9mile"));
    table.sortByColumn(colCustomer);
    EXPECT_TRUE(table.sortDescending());
    EXPECT_THAT(column(colCustomer), ::testing::ElementsAre(L"\u00e9mile", L"\u00c9lodie",
                                                            L"b garage", L"Abd", L"abc", L""));
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(table.findByName(table.cell(colFileName, row)), row);
}

TEST_F(JobTableTest, HiddenColumnsDoNotSort) {
    addRow(L"b.spl");
    addRow(L"a.spl");
    for (int col : {int{colFileName}, int{colSize}, int{colSteadyReadings}, -1, kJobColumnCount})
        table.sortByColumn(col);
    EXPECT_EQ(table.sortColumn(), colChangeTime);
    EXPECT_TRUE(table.sortDescending());
    EXPECT_THAT(column(colFileName), ::testing::ElementsAre(L"b.spl", L"a.spl"));
}

TEST_F(JobTableTest, RowStateTravelsWithTheRowWhenSorted) {
    addRow(L"b.spl", L"07/12/2026 11:00:00");
    addRow(L"a.spl", L"07/12/2026 10:00:00");
    table.setCell(colSize, 0, L"900");
    table.setMarked(0, true);
    const DateTime changed{2026, 12, 7, 11, 0, 0, 250};
    table.setLastChange(0, changed);

    table.sortByColumn(colChangeTime);
    EXPECT_EQ(table.cell(colFileName, 1), L"b.spl");
    EXPECT_EQ(table.cell(colSize, 1), L"900");
    EXPECT_TRUE(table.isMarked(1));
    EXPECT_FALSE(table.isMarked(0));
    EXPECT_EQ(table.lastChange(1), changed);
    EXPECT_EQ(table.lastChange(0), DateTime{});
}

TEST_F(JobTableTest, MarkOutOfRangeIsIgnored) {
    addRow(L"a.spl");
    table.setMarked(-1, true);
    table.setMarked(1, true);
    EXPECT_FALSE(table.isMarked(-1));
    EXPECT_FALSE(table.isMarked(0));
    EXPECT_FALSE(table.isMarked(1));
}

class RecordingListener final : public JobTableListener {
public:
    void rowAppended(int row) override { events.push_back("append " + std::to_string(row)); }
    void cellChanged(int column, int row) override {
        events.push_back("cell " + std::to_string(column) + "," + std::to_string(row));
    }
    void rowsReordered() override { events.push_back("reorder"); }
    void markChanged(int row) override { events.push_back("mark " + std::to_string(row)); }
    std::vector<std::string> events;
};

TEST_F(JobTableTest, ListenerHearsEveryChange) {
    RecordingListener listener;
    table.setListener(&listener);
    table.appendRow();
    table.setCell(colCustomer, 0, L"M DUPONT");
    table.setMarked(0, true);
    table.setMarked(0, true); // unchanged: no news
    table.setMarked(0, false);
    table.sortByColumn(colCustomer);
    EXPECT_THROW(table.setCell(colSize, 0, L"x"), Error);
    EXPECT_THAT(listener.events,
                ::testing::ElementsAre("append 0", "cell 4,0", "mark 0", "mark 0", "reorder"));
}

} // namespace
} // namespace quorva
