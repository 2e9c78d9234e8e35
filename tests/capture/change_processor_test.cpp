#include "capture/change_processor.h"

#include "platform/date_format.h"
#include "support/change_buffer.h"
#include "support/fakes.h"
#include "support/memory_file_system.h"
#include "support/recording_log.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quorva {
namespace {

using ::testing::ElementsAre;
using testkit::changeBuffer;
using testkit::ChangeBuffer;
using testkit::ManualClock;
using testkit::MemoryFileSystem;
using testkit::putField;
using testkit::Record;
using testkit::RecordingLog;

constexpr const char* kFolder = "C:\\spool";

class ChangeProcessorTest : public ::testing::TestWithParam<bool> {
protected:
    bool process(const std::vector<Record>& records) {
        const ChangeBuffer buffer = changeBuffer(records, GetParam());
        return processor.process(buffer.bytes.data(), buffer.bytes.size(), buffer.transferred,
                                 kFolder);
    }
    bool processZero() {
        const std::vector<unsigned char> zero(kChangeBufferSize, 0);
        return processor.process(zero.data(), zero.size(), 0, kFolder);
    }
    // Moves the clock on by whole seconds.
    void later(int seconds) {
        DateTime now = clock.now();
        now.second += seconds;
        now.minute += now.second / 60;
        now.second %= 60;
        clock.set(now);
    }
    std::string stamp() const { return formatC(clock.now(), locale); }
    // What the capture fills in (the job state is the outbox's).
    std::vector<std::string> row(JobId id) const {
        const Job& job = jobs.at(id);
        return {formatShownDateTime(job.changedAt, locale),
                job.spoolName,
                std::to_string(job.size),
                std::to_string(job.steadyReadings),
                locale.wideToAnsi(job.customer),
                job.reportId};
    }
    void setReadings(JobId id, int readings) {
        jobs.update(id, [readings](Job& job) { job.steadyReadings = readings; });
    }

    FixedLocale locale;
    ManualClock clock{{2026, 12, 7, 14, 5, 9, 42}};
    JobList jobs;
    RecordingLog log;
    MemoryFileSystem files;
    ChangeProcessor processor{jobs, log, clock, locale, files};
};

INSTANTIATE_TEST_SUITE_P(Layouts, ChangeProcessorTest, ::testing::Values(false, true),
                         [](const auto& layout) { return layout.param ? "Aligned" : "Packed"; });

TEST_P(ChangeProcessorTest, NewFileLogsAndAppendsARow) {
    EXPECT_TRUE(process({{1, u"00012.SPL"}}));
    EXPECT_THAT(log.lines, ElementsAre("07/12/2026 14:05:09 - ADDED 00012.spl"));
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_THAT(row(0), ElementsAre("07/12/2026 14:05:09", "00012.spl", "0", "0", "", ""));
    EXPECT_EQ(jobs.at(0).changedAt, clock.now());
    EXPECT_EQ(processor.lastEventLine(), "ADDED 00012.spl");
}

TEST_P(ChangeProcessorTest, ActionTextsByCode) {
    EXPECT_TRUE(
        process({{1, u"a.spl"}, {2, u"b.spl"}, {3, u"c.spl"}, {4, u"OLD.spl"}, {5, u"New.spl"}}));
    const std::string t = stamp() + " - ";
    EXPECT_THAT(log.lines,
                ElementsAre(t + "[...] into new.spl", t + "RENAMED old.spl [...]",
                            t + "MODIFIED c.spl", t + "DELETED b.spl", t + "ADDED a.spl"));
    // Every accepted record makes a row, removals and old names included, in record order.
    ASSERT_EQ(jobs.size(), 5);
    const char* names[] = {"a.spl", "b.spl", "c.spl", "old.spl", "new.spl"};
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(jobs.at(r).spoolName, names[r]);
}

TEST_P(ChangeProcessorTest, NamesAreLowerCasedThroughTheAnsiCodePage) {
    EXPECT_TRUE(process({{1, u"FACTUR\u00c9 N\u00b0 12.SPL"}, {3, u"\u0152UVRE.SPL"}}));
    EXPECT_EQ(jobs.at(0).spoolName, "factur\xe9 n\xb0 12.spl");
    EXPECT_EQ(jobs.at(1).spoolName, "\x9cuvre.spl");
    EXPECT_EQ(processor.lastEventLine(), "MODIFIED \x9cuvre.spl");
}

TEST_P(ChangeProcessorTest, KnownNameInAnyCaseRefreshesItsRow) {
    process({{1, u"00012.spl"}});
    jobs.update(0, [](Job& job) {
        job.size = 1200;
        job.steadyReadings = 6;
        job.customer = L"M DUPONT";
        job.reportId = "4711";
    });
    later(75);

    EXPECT_TRUE(process({{2, u"00012.Spl"}}));
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_THAT(row(0),
                ElementsAre("07/12/2026 14:06:24", "00012.spl", "1200", "0", "M DUPONT", "4711"));
    EXPECT_EQ(jobs.at(0).changedAt, clock.now());
    EXPECT_EQ(log.lines.front(), "07/12/2026 14:06:24 - DELETED 00012.spl");
}

TEST_P(ChangeProcessorTest, RepeatedRecordIsSkippedInOneBufferAndAcrossBuffers) {
    EXPECT_TRUE(process({{1, u"a.spl"}, {3, u"a.spl"}, {3, u"A.SPL"}}));
    EXPECT_EQ(log.lines.size(), 2u);
    setReadings(0, 4);

    later(600); // however much later it comes
    EXPECT_FALSE(process({{3, u"a.spl"}}));
    EXPECT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(jobs.at(0).steadyReadings, 4);

    // Another record in between ends the run.
    EXPECT_TRUE(process({{3, u"b.spl"}, {3, u"a.spl"}}));
    EXPECT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(jobs.at(0).steadyReadings, 0);
}

TEST_P(ChangeProcessorTest, IgnoredEndingsInAnyCase) {
    EXPECT_FALSE(
        process({{1, u"PROJET.~PAS"}, {3, u"unit.~Ddp"}, {1, u"form.~dfm"}, {3, u"help.DHL"}}));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(jobs.size(), 0);
    // Skipped, but still the last event line.
    EXPECT_EQ(processor.lastEventLine(), "MODIFIED help.dhl");

    // A skipped record in between breaks a run of equal records.
    EXPECT_TRUE(process({{3, u"a.spl"}, {3, u"x.~pas"}, {3, u"a.spl"}}));
    EXPECT_EQ(log.lines.size(), 2u);
    // Endings are the last four characters only.
    EXPECT_TRUE(process({{1, u"pas"}, {1, u"dhl.spl"}}));
    EXPECT_EQ(jobs.size(), 3);
}

TEST_P(ChangeProcessorTest, UnknownActionCodesAreSkippedAndTheWalkGoesOn) {
    EXPECT_TRUE(
        process({{0, u"zero.spl"}, {6, u"six.spl"}, {0xFFFFFFFF, u"big.spl"}, {1, u"good.spl"}}));
    EXPECT_THAT(log.lines, ElementsAre(stamp() + " - ADDED good.spl"));
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs.at(0).spoolName, "good.spl");
}

TEST_P(ChangeProcessorTest, EmptyNameIsSkipped) {
    EXPECT_TRUE(process({{1, u""}, {1, u"a.spl"}}));
    EXPECT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs.findByName(""), kNoJob);
}

// Runs the first `size` bytes of the buffer, copied into a block of exactly that size so that
// the sanitizers see any overrun.
bool processExact(ChangeProcessor& processor, const ChangeBuffer& buffer, std::size_t size,
                  unsigned long transferred) {
    const std::vector<unsigned char> exact(
        buffer.bytes.begin(), buffer.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    return processor.process(exact.data(), exact.size(), transferred, kFolder);
}

TEST(ChangeBufferBoundsTest, RecordsOutsideTheTransferredBytesAreNotRead) {
    const ChangeBuffer two = changeBuffer({{1, u"first.spl"}, {1, u"second.spl"}}, false);
    const unsigned long firstEnd = 12 + 18;
    struct Case {
        const char* what;
        std::size_t size;
        unsigned long transferred;
        int rows;
    };
    const Case cases[] = {
        {"whole buffer", kChangeBufferSize, two.transferred, 2},
        {"second name cut by the count", kChangeBufferSize, two.transferred - 1, 1},
        {"second header cut by the count", kChangeBufferSize, firstEnd + 11, 1},
        {"count larger than the buffer", two.transferred - 2, 0xFFFFFFFF, 1},
        {"first header cut", 11, 11, 0},
        {"first name cut", firstEnd - 1, firstEnd - 1, 0},
    };
    FixedLocale locale;
    ManualClock clock;
    RecordingLog log;
    MemoryFileSystem files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JobList jobs;
        ChangeProcessor processor{jobs, log, clock, locale, files};
        processExact(processor, two, c.size, c.transferred);
        EXPECT_EQ(jobs.size(), c.rows);
    }
}

TEST(ChangeBufferBoundsTest, FieldsPointingOutsideStopTheWalk) {
    FixedLocale locale;
    ManualClock clock;
    JobList jobs;
    RecordingLog log;
    MemoryFileSystem files;
    ChangeProcessor processor{jobs, log, clock, locale, files};
    const auto run = [&](const ChangeBuffer& buffer) {
        return processExact(processor, buffer, kChangeBufferSize, buffer.transferred);
    };

    ChangeBuffer bad = changeBuffer({{1, u"a.spl"}, {1, u"b.spl"}, {1, u"c.spl"}}, false);
    putField(bad.bytes, 22 + 8, 0x7FFFFFFF); // b's name length
    EXPECT_TRUE(run(bad));
    EXPECT_EQ(jobs.size(), 1);

    bad = changeBuffer({{1, u"d.spl"}, {1, u"e.spl"}}, false);
    putField(bad.bytes, 0, 0xFFFFFFF0); // d's offset to the next record
    EXPECT_TRUE(run(bad));
    EXPECT_EQ(jobs.size(), 2);
    EXPECT_EQ(jobs.at(1).spoolName, "d.spl");

    // An odd name length takes the whole characters; an offset into the same record is walked
    // on from there.
    bad = changeBuffer({{1, u"fg.spl"}}, false);
    putField(bad.bytes, 8, 5);
    putField(bad.bytes, 0, 4);
    EXPECT_TRUE(run(bad));
    EXPECT_EQ(jobs.at(2).spoolName, "fg");
    EXPECT_EQ(log.lines.size(), 3u);
}

TEST_P(ChangeProcessorTest, ZeroByteCompletionRescansForWhatWasWrittenSinceTheFolderWasRead) {
    const DateTime before{2026, 12, 7, 14, 5, 8, 0};
    const DateTime after{2026, 12, 7, 14, 5, 9, 43};
    // Kept printed jobs, there when watching starts: one stays as it is, one is written again.
    files.put("C:\\spool\\00076.spl", "kept", before);
    files.put("C:\\spool\\00075.spl", "kept", before);
    processor.startWatching(kFolder);
    process({{1, u"settled.spl"}, {1, u"rewritten.spl"}, {1, u"gone.spl"}});
    setReadings(0, 6);
    jobs.update(0, [](Job& job) { job.reportId = "4711"; });
    setReadings(1, 6);
    setReadings(2, 3);
    files.put("C:\\spool\\settled.spl", "x", before);
    files.put("C:\\spool\\REWRITTEN.SPL", "x", after);
    files.put("C:\\spool\\00077.SPL", "x", after);
    files.put("C:\\spool\\00075.spl", "kept, then a new job", before);
    files.put("C:\\spool\\unit.~PAS", "x", after);
    files.put("C:\\spool\\sub\\deeper.spl", "x", after);
    later(30);

    EXPECT_TRUE(processZero());
    const std::string t = stamp() + " - ";
    EXPECT_THAT(log.lines,
                ElementsAre(t + "MODIFIED rewritten.spl", t + "ADDED 00077.spl",
                            t + "ADDED 00075.spl", t + "Trop de changements : relecture du dossier",
                            ::testing::_, ::testing::_, ::testing::_));
    ASSERT_EQ(jobs.size(), 5);
    // The settled job keeps its state: it is not uploaded twice.
    EXPECT_THAT(row(0), ElementsAre("07/12/2026 14:05:09", "settled.spl", "0", "6", "", "4711"));
    EXPECT_EQ(row(1)[0], "07/12/2026 14:05:39");
    EXPECT_EQ(jobs.at(1).steadyReadings, 0);
    EXPECT_EQ(jobs.at(1).changedAt, clock.now());
    EXPECT_EQ(jobs.at(2).steadyReadings, 3); // no file: untouched
    EXPECT_THAT(row(3), ElementsAre("07/12/2026 14:05:39", "00075.spl", "0", "0", "", ""));
    EXPECT_EQ(jobs.at(4).spoolName, "00077.spl");
    EXPECT_EQ(jobs.findByName("00076.spl"), kNoJob); // the kept job is not sent again

    // Nothing new since that reading: only the line, and no poll needed.
    later(1);
    EXPECT_FALSE(processZero());
    EXPECT_EQ(log.lines.front(), stamp() + " - Trop de changements : relecture du dossier");
    EXPECT_EQ(jobs.size(), 5);

    // A folder back after it was lost is read the same way; a row given up because its file
    // was away meanwhile polls again.
    jobs.update(2, [](Job& job) {
        job.size = -1;
        job.steadyReadings = 6;
    });
    files.put("C:\\spool\\gone.spl", "x", before);
    files.put("C:\\spool\\00078.spl", "x", after);
    EXPECT_TRUE(processor.folderBack(kFolder));
    EXPECT_EQ(log.lines[2],
              stamp() + " - Dossier du spouleur de nouveau accessible : relecture du dossier");
    EXPECT_EQ(jobs.at(2).steadyReadings, 0);
    EXPECT_EQ(jobs.size(), 6);
}

TEST_P(ChangeProcessorTest, RecordAfterARescanIsNotTakenForARepeat) {
    process({{3, u"a.spl"}});
    setReadings(0, 6);
    processZero();
    EXPECT_TRUE(process({{3, u"a.spl"}}));
    EXPECT_EQ(jobs.at(0).steadyReadings, 0);
}

TEST(ChangeProcessorRescanTest, RealFolder) {
    FixedLocale locale;
    ManualClock clock;
    JobList jobs;
    RecordingLog log;
    SystemFiles files;
    ChangeProcessor processor{jobs, log, clock, locale, files};
    testkit::TempDir folder;
    folder.write("Known-Old.SPL", "abc");
    folder.write("known-new.spl", "abc");
    folder.write("fresh.spl", "abc");
    std::filesystem::create_directory(folder.file("sub.spl"));

    const auto record = [&](const std::u16string& name, const DateTime& when) {
        clock.set(when);
        const ChangeBuffer b = changeBuffer({{1, name}}, true);
        processor.process(b.bytes.data(), b.bytes.size(), b.transferred, folder.path());
    };
    // The files were written now: after a change in 2000, before one in 2100.
    record(u"known-old.spl", {2000, 1, 1, 12, 0, 0, 0});
    record(u"known-new.spl", {2100, 1, 1, 12, 0, 0, 0});
    record(u"deleted.spl", {2000, 1, 1, 12, 0, 0, 0});
    for (JobId id = 0; id < 3; ++id)
        jobs.update(id, [](Job& job) { job.steadyReadings = 6; });

    const std::vector<unsigned char> zero(kChangeBufferSize, 0);
    EXPECT_TRUE(processor.process(zero.data(), zero.size(), 0, folder.path()));
    ASSERT_EQ(jobs.size(), 4);
    EXPECT_EQ(jobs.at(0).steadyReadings, 0);
    EXPECT_EQ(jobs.at(1).steadyReadings, 6);
    EXPECT_EQ(jobs.at(2).steadyReadings, 6);
    EXPECT_EQ(jobs.at(3).spoolName, "fresh.spl");
    EXPECT_EQ(log.lines.size(), 3u + 3u);
}

} // namespace
} // namespace quorva
