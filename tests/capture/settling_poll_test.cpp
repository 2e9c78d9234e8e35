#include "capture/settling_poll.h"

#include "platform/error.h"
#include "support/fakes.h"
#include "support/memory_file_system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorva {
namespace {

using ::testing::ElementsAre;
using testing::ManualClock;
using testing::MemoryFileSystem;

constexpr const char* kFolder = "C:\\spool";

class SettlingPollTest : public ::testing::Test {
protected:
    // A row as the watcher makes it; with `content`, its file exists.
    int addJob(const std::string& name, const std::optional<std::string>& content) {
        const int row = table.appendRow();
        table.setCell(colChangeTime, row, L"07/12/2026 14:05:09");
        table.setCell(colFileName, row, locale.ansiToWide(name));
        table.setCell(colSize, row, L"0");
        table.setCell(colSteadyReadings, row, L"0");
        if (content)
            files.put(path(name), *content);
        return row;
    }
    static std::string path(const std::string& name) { return std::string(kFolder) + "\\" + name; }

    // One timer tick: returns whether the timer runs again.
    bool pass() {
        timerOn = false;
        poll.pass(
            kFolder,
            [this](int row) {
                extracted.push_back(row);
                if (failing)
                    throw Error("Impossible d'ouvrir le fichier \"x\". Accès refusé");
                return "id" + std::to_string(extracted.size());
            },
            [this] {
                EXPECT_FALSE(timerOn) << "timer enabled twice";
                timerOn = true;
            });
        return timerOn;
    }
    std::wstring sizeOf(int row) const { return table.cell(colSize, row); }
    std::wstring countOf(int row) const { return table.cell(colSteadyReadings, row); }

    FixedLocale locale;
    ManualClock clock;
    JobTable table{locale, clock};
    MemoryFileSystem files;
    SettlingPoll poll{table, files, locale};
    std::vector<int> extracted;
    bool timerOn = false;
    bool failing = false;
};

TEST_F(SettlingPollTest, FileOfFinalSizeIsExtractedOnTheSeventhPass) {
    addJob("00012.spl", std::string(500, 'x'));
    EXPECT_TRUE(pass());
    EXPECT_EQ(sizeOf(0), L"500");
    EXPECT_EQ(countOf(0), L"0");
    for (int n = 1; n <= 5; ++n) {
        EXPECT_TRUE(pass());
        EXPECT_EQ(countOf(0), std::to_wstring(n));
    }
    EXPECT_TRUE(extracted.empty());
    EXPECT_TRUE(pass()); // the seventh
    EXPECT_THAT(extracted, ElementsAre(0));
    EXPECT_EQ(countOf(0), L"6");
    EXPECT_EQ(table.cell(colReportId, 0), L"id1");
    // The pass after the extraction finds nothing to do.
    EXPECT_FALSE(pass());
    EXPECT_EQ(extracted.size(), 1u);
}

TEST_F(SettlingPollTest, SmallOrMissingFilesAreGivenUp) {
    struct Case {
        const char* what;
        std::optional<std::string> content;
        const wchar_t* size;
        int passesUntilDone; // the timer stays off after the last of them
        bool extracted;
    };
    const Case cases[] = {
        {"0 bytes: equal to the first size from the start", std::string(), L"0", 6, false},
        {"1 byte", std::string("x"), L"1", 7, false},
        {"missing", std::nullopt, L"-1", 7, false},
        {"2 bytes", std::string("xy"), L"2", 7, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JobTable fresh{locale, clock};
        SettlingPoll freshPoll{fresh, files, locale};
        files.put(path("a.spl"), "");
        if (c.content)
            files.put(path("a.spl"), *c.content);
        else
            files.remove(path("a.spl"));
        const int row = fresh.appendRow();
        fresh.setCell(colFileName, row, L"a.spl");
        int timerEnabled = 0;
        int calls = 0;
        for (int n = 1; n <= c.passesUntilDone; ++n) {
            freshPoll.pass(
                kFolder, [&calls](int) { return std::to_string(++calls); },
                [&timerEnabled] { ++timerEnabled; });
        }
        EXPECT_EQ(fresh.cell(colSize, row), c.size);
        EXPECT_EQ(fresh.cell(colSteadyReadings, row), L"6");
        EXPECT_EQ(calls, c.extracted ? 1 : 0);
        // Every pass but the last asked for another one, and the last only after extracting.
        EXPECT_EQ(timerEnabled, c.passesUntilDone - (c.extracted ? 0 : 1));
        EXPECT_EQ(fresh.cell(colReportId, row), c.extracted ? L"1" : L"");
    }
}

TEST_F(SettlingPollTest, OneExtractionPerPassInRowOrder) {
    addJob("a.spl", std::string(100, 'a'));
    addJob("b.spl", std::string(200, 'b'));
    addJob("c.spl", std::string(300, 'c'));
    for (int n = 0; n < 7; ++n)
        pass();
    EXPECT_THAT(extracted, ElementsAre(0));
    // The rows after the extracted one were not advanced.
    EXPECT_EQ(countOf(1), L"5");
    EXPECT_EQ(countOf(2), L"5");
    EXPECT_TRUE(timerOn);
    pass();
    EXPECT_THAT(extracted, ElementsAre(0, 1));
    EXPECT_EQ(countOf(2), L"5");
    EXPECT_TRUE(pass());
    EXPECT_THAT(extracted, ElementsAre(0, 1, 2));
    EXPECT_FALSE(pass());
    EXPECT_EQ(table.cell(colReportId, 2), L"id3");
}

TEST_F(SettlingPollTest, GrowingFileKeepsCountingFromZero) {
    addJob("big.spl", "");
    files.put(path("big.spl"), "start");
    for (int n = 0; n < 20; ++n) {
        EXPECT_TRUE(pass());
        EXPECT_EQ(countOf(0), L"0");
        files.append(path("big.spl"), "more");
    }
    EXPECT_EQ(sizeOf(0), std::to_wstring(5 + 19 * 4));
    EXPECT_TRUE(extracted.empty());
}

TEST_F(SettlingPollTest, RefreshedRowCountsAgainFromItsStoredSize) {
    addJob("a.spl", "12345");
    for (int n = 0; n < 7; ++n)
        pass();
    ASSERT_THAT(extracted, ElementsAre(0));
    EXPECT_FALSE(pass());

    table.setCell(colSteadyReadings, 0, L"0"); // a new change record for the same name
    for (int n = 1; n <= 5; ++n) {
        EXPECT_TRUE(pass());
        EXPECT_EQ(countOf(0), std::to_wstring(n));
    }
    pass();
    EXPECT_THAT(extracted, ElementsAre(0, 0));
    EXPECT_EQ(table.cell(colReportId, 0), L"id2");
}

TEST_F(SettlingPollTest, DoneRowsCostNoSearchAndLeaveTheTimerOff) {
    addJob("a.spl", "123");
    addJob("b.spl", "45");
    table.setCell(colSteadyReadings, 0, L"6");
    table.setCell(colSteadyReadings, 1, L"7");
    const int searches = files.searches;
    EXPECT_FALSE(pass());
    EXPECT_EQ(files.searches, searches);
    EXPECT_EQ(sizeOf(0), L"0");
    EXPECT_EQ(countOf(0), L"6");
    EXPECT_EQ(countOf(1), L"7");
}

TEST_F(SettlingPollTest, InfoLabelAlternates) {
    std::string caption = "..";
    std::vector<std::string> shown;
    for (int n = 0; n < 4; ++n) {
        caption = SettlingPoll::nextInfoText(caption);
        shown.push_back(caption);
    }
    EXPECT_THAT(shown, ElementsAre("...", "..", "...", ".."));
    EXPECT_EQ(SettlingPoll::nextInfoText(""), "..");
}

TEST_F(SettlingPollTest, FailedExtractionKeepsTheOtherRowsPolling) {
    addJob("a.spl", "settled");
    addJob("b.spl", "waiting");
    for (int n = 0; n < 6; ++n)
        pass();
    ASSERT_EQ(countOf(0), L"5");

    failing = true;
    EXPECT_THROW(pass(), Error);
    EXPECT_TRUE(timerOn) << "b still polls";
    EXPECT_EQ(countOf(0), L"6"); // done, not examined again
    EXPECT_EQ(table.cell(colReportId, 0), L"");
    EXPECT_EQ(countOf(1), L"5"); // the pass ended at the failure

    failing = false;
    EXPECT_TRUE(pass());
    EXPECT_THAT(extracted, ElementsAre(0, 1));
    EXPECT_EQ(table.cell(colReportId, 1), L"id2");
    EXPECT_FALSE(pass());
}

TEST_F(SettlingPollTest, FailedExtractionSeesPollingRowsOnBothSides) {
    addJob("before.spl", "stable");
    addJob("a.spl", "settled");
    for (int n = 0; n < 6; ++n)
        pass();
    files.append(path("before.spl"), "+"); // row 0 polls again, before the failing row
    failing = true;
    EXPECT_THROW(pass(), Error);
    EXPECT_TRUE(timerOn);

    // Alone, a failed row leaves the timer off.
    JobTable alone{locale, clock};
    SettlingPoll alonePoll{alone, files, locale};
    alone.appendRow();
    alone.setCell(colFileName, 0, L"a.spl");
    alone.setCell(colSize, 0, L"7");
    alone.setCell(colSteadyReadings, 0, L"5");
    bool enabled = false;
    EXPECT_THROW(alonePoll.pass(
                     kFolder, [](int) -> std::string { throw Error("refus"); },
                     [&enabled] { enabled = true; }),
                 Error);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(alone.cell(colSteadyReadings, 0), L"6");
}

} // namespace
} // namespace quorva
