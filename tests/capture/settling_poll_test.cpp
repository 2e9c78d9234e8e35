#include "capture/settling_poll.h"

#include "platform/error.h"
#include "support/change_buffer.h"
#include "support/fakes.h"
#include "support/memory_file_system.h"
#include "support/recording_log.h"
#include "ui/timer_switch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorva {
namespace {

using ::testing::ElementsAre;
using testkit::changeBuffer;
using testkit::ChangeBuffer;
using testkit::ManualClock;
using testkit::MemoryFileSystem;
using testkit::Record;
using testkit::RecordingLog;

constexpr const char* kFolder = "C:\\spool";

class SettlingPollTest : public ::testing::Test {
protected:
    // A job as the watcher makes it; with `content`, its file exists.
    JobId addJob(const std::string& name, const std::optional<std::string>& content) {
        if (content)
            files.put(path(name), *content);
        return addTo(jobs, name);
    }
    static JobId addTo(JobList& list, const std::string& name, int readings = 0,
                       std::int64_t size = 0) {
        Job job;
        job.spoolName = name;
        job.steadyReadings = readings;
        job.size = size;
        return list.add(std::move(job));
    }
    void setReadings(JobId id, int readings) {
        jobs.update(id, [readings](Job& job) { job.steadyReadings = readings; });
    }
    static std::string path(const std::string& name) { return std::string(kFolder) + "\\" + name; }

    // One timer tick: returns whether the timer runs again.
    bool pass() {
        timerOn = false;
        poll.pass(
            kFolder,
            [this](JobId id, const DateTime&) {
                extracted.push_back(id);
                if (failing)
                    throw Error("Impossible d'ouvrir le fichier \"x\". Accès refusé");
            },
            [this] {
                EXPECT_FALSE(timerOn) << "timer enabled twice";
                timerOn = true;
            });
        return timerOn;
    }
    std::int64_t sizeOf(JobId id) const { return jobs.at(id).size; }
    int countOf(JobId id) const { return jobs.at(id).steadyReadings; }

    FixedLocale locale;
    ManualClock clock;
    JobList jobs;
    MemoryFileSystem files;
    RecordingLog log;
    SettlingPoll poll{jobs, files};
    std::vector<JobId> extracted;
    bool timerOn = false;
    bool failing = false;
};

TEST_F(SettlingPollTest, FileOfFinalSizeIsExtractedOnTheSeventhPass) {
    addJob("00012.spl", std::string(500, 'x'));
    EXPECT_TRUE(pass());
    EXPECT_EQ(sizeOf(0), 500);
    EXPECT_EQ(countOf(0), 0);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_TRUE(pass());
        EXPECT_EQ(countOf(0), n);
    }
    EXPECT_TRUE(extracted.empty());
    EXPECT_TRUE(pass()); // the seventh
    EXPECT_THAT(extracted, ElementsAre(0));
    EXPECT_EQ(countOf(0), 6);
    // The pass after the extraction finds nothing to do.
    EXPECT_FALSE(pass());
    EXPECT_EQ(extracted.size(), 1u);
}

TEST_F(SettlingPollTest, SmallOrMissingFilesAreGivenUp) {
    struct Case {
        const char* what;
        std::optional<std::string> content;
        std::int64_t size;
        int passesUntilDone; // the timer stays off after the last of them
        bool extracted;
    };
    const Case cases[] = {
        {"0 bytes: equal to the first size from the start", std::string(), 0, 6, false},
        {"1 byte", std::string("x"), 1, 7, false},
        {"missing", std::nullopt, -1, 7, false},
        {"2 bytes", std::string("xy"), 2, 7, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JobList fresh;
        SettlingPoll freshPoll{fresh, files};
        files.put(path("a.spl"), "");
        if (c.content)
            files.put(path("a.spl"), *c.content);
        else
            files.remove(path("a.spl"));
        const JobId id = addTo(fresh, "a.spl");
        int timerEnabled = 0;
        int calls = 0;
        for (int n = 1; n <= c.passesUntilDone; ++n) {
            freshPoll.pass(
                kFolder, [&calls](JobId, const DateTime&) { ++calls; },
                [&timerEnabled] { ++timerEnabled; });
        }
        EXPECT_EQ(fresh.at(id).size, c.size);
        EXPECT_EQ(fresh.at(id).steadyReadings, 6);
        EXPECT_EQ(calls, c.extracted ? 1 : 0);
        // Every pass but the last asked for another one, and the last only after extracting.
        EXPECT_EQ(timerEnabled, c.passesUntilDone - (c.extracted ? 0 : 1));
        EXPECT_EQ(fresh.at(id).settled.has_value(), c.extracted);
    }
}

// A burst of invoices settles together: one pass extracts them all, in the order they came.
TEST_F(SettlingPollTest, EverySettledJobIsExtractedInTheSamePass) {
    addJob("a.spl", std::string(100, 'a'));
    addJob("b.spl", std::string(200, 'b'));
    addJob("c.spl", std::string(300, 'c'));
    for (int n = 0; n < 6; ++n)
        pass();
    EXPECT_TRUE(extracted.empty());
    EXPECT_TRUE(pass());
    EXPECT_THAT(extracted, ElementsAre(0, 1, 2));
    EXPECT_FALSE(pass());
}

TEST_F(SettlingPollTest, GrowingFileKeepsCountingFromZero) {
    addJob("big.spl", "");
    files.put(path("big.spl"), "start");
    for (int n = 0; n < 20; ++n) {
        EXPECT_TRUE(pass());
        EXPECT_EQ(countOf(0), 0);
        files.append(path("big.spl"), "more");
    }
    EXPECT_EQ(sizeOf(0), 5 + 19 * 4);
    EXPECT_TRUE(extracted.empty());
}

TEST_F(SettlingPollTest, RefreshedRowCountsAgainAndIsSentAgainOnlyAsANewVersion) {
    addJob("a.spl", "12345");
    for (int n = 0; n < 7; ++n)
        pass();
    ASSERT_THAT(extracted, ElementsAre(0));
    EXPECT_FALSE(pass());

    setReadings(0, 0); // a new change record for the same name
    for (int n = 1; n <= 5; ++n) {
        EXPECT_TRUE(pass());
        EXPECT_EQ(countOf(0), n);
    }
    pass();
    // The file is what was sent: done without a second upload.
    EXPECT_THAT(extracted, ElementsAre(0));
    EXPECT_EQ(countOf(0), 6);

    // The spooler uses the name again for another job.
    files.put(path("a.spl"), "12345", {2026, 12, 7, 15, 0, 0, 0});
    setReadings(0, 0);
    for (int n = 0; n < 6; ++n)
        pass();
    EXPECT_THAT(extracted, ElementsAre(0, 0));
}

TEST_F(SettlingPollTest, DoneRowsCostNoSearchAndLeaveTheTimerOff) {
    addJob("a.spl", "123");
    addJob("b.spl", "45");
    setReadings(0, 6);
    setReadings(1, 7);
    const int searches = files.searches;
    EXPECT_FALSE(pass());
    EXPECT_EQ(files.searches, searches);
    EXPECT_EQ(sizeOf(0), 0);
    EXPECT_EQ(countOf(0), 6);
    EXPECT_EQ(countOf(1), 7);
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
    ASSERT_EQ(countOf(0), 5);

    failing = true;
    EXPECT_THROW(pass(), Error);
    EXPECT_TRUE(timerOn) << "b still polls";
    EXPECT_EQ(countOf(0), 6);         // done, not examined again
    EXPECT_FALSE(jobs.at(0).settled); // not taken for sent
    EXPECT_EQ(countOf(1), 5);         // the pass ended at the failure

    failing = false;
    EXPECT_TRUE(pass());
    EXPECT_THAT(extracted, ElementsAre(0, 1));
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
    JobList alone;
    SettlingPoll alonePoll{alone, files};
    addTo(alone, "a.spl", 5, 7);
    bool enabled = false;
    EXPECT_THROW(alonePoll.pass(
                     kFolder, [](JobId, const DateTime&) { throw Error("refus"); },
                     [&enabled] { enabled = true; }),
                 Error);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(alone.at(0).steadyReadings, 6);
}

// A writer that pauses mid-job, run through the change processing and the poll as the window
// runs them.
class SpoolingTest : public SettlingPollTest {
protected:
    bool record(const std::vector<Record>& records) {
        const ChangeBuffer buffer = changeBuffer(records, false);
        return changes.process(buffer.bytes.data(), buffer.bytes.size(), buffer.transferred,
                               kFolder);
    }
    ChangeProcessor changes{jobs, log, clock, locale, files};
};

TEST_F(SpoolingTest, AWriterThatPausesMidJobHasItsCompleteJobSentOnce) {
    // Paused for far longer than the poll waits, the file still held open: no upload.
    files.put(path("00040.spl"), "first half");
    files.holdForWriting(path("00040.spl"), true);
    record({{1, u"00040.spl"}, {3, u"00040.spl"}});
    for (int n = 0; n < 20; ++n)
        EXPECT_TRUE(pass());
    EXPECT_TRUE(extracted.empty());
    EXPECT_EQ(countOf(0), 5);

    // The rest comes and the writer lets go: the whole job is sent, once.
    files.append(path("00040.spl"), ", second half");
    files.holdForWriting(path("00040.spl"), false);
    record({{3, u"00040.spl"}}); // a repeat of the last line, and the row still polls: skipped
    for (int n = 0; n < 8; ++n)
        pass();
    EXPECT_THAT(extracted, ElementsAre(0));
    EXPECT_EQ(sizeOf(0), 23);

    // This writer closed the file in its pause, so the first half went; the rest brings a
    // repeat of the last line, which a done row must not miss.
    files.append(path("00040.spl"), ", an annex");
    EXPECT_TRUE(record({{3, u"00040.spl"}}));
    EXPECT_EQ(countOf(0), 0);
    for (int n = 0; n < 8; ++n)
        pass();
    EXPECT_THAT(extracted, ElementsAre(0, 0));
}

// The desk's timing played on a millisecond count: the timer's switch is the window timer's own;
// each tick runs a pass, and a started timer ticks one interval after it was started.
TEST_F(SpoolingTest, AJobThatSpoolsForLongHoldsNoOtherInvoiceBack) {
    TimerSwitch timer;
    long long now = 0;
    long long due = 0;
    const auto enable = [&] {
        if (timer.enable())
            due = now + 500;
    };
    long long sentAt = -1;
    files.put(path("long.spl"), "");
    for (; now <= 12000 && sentAt < 0; now += 50) {
        if (now == 100) {
            files.put(path("invoice.spl"), "the whole invoice");
            if (record({{1, u"invoice.spl"}}))
                enable();
        }
        // The long job and its shadow file change every 200 ms for 10 s.
        if (now % 200 == 0 && now <= 10000) {
            files.append(path("long.spl"), "more");
            if (record({{3, u"long.spl"}, {3, u"long.shd"}}))
                enable();
        }
        if (timer.on() && now >= due) {
            timer.disable();
            poll.pass(
                kFolder,
                [&](JobId id, const DateTime&) {
                    if (jobs.at(id).spoolName == "invoice.spl")
                        sentAt = now;
                },
                enable);
        }
    }
    // Seven passes after its write, about 3.5 s; not when the long job ends.
    EXPECT_GE(sentAt, 3000);
    EXPECT_LE(sentAt, 4500);
}

} // namespace
} // namespace quorva
