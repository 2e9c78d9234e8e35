#include "store_fixture.h"

#include "store/retry_schedule.h"
#include "support/memory_file_system.h"
#include "support/time_zone.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <fstream>

namespace quorva {
namespace {

using JobStoreTest = StoreFixture;

// Each place the program may end between capture and answer leaves a job that is sent at the
// next start; none is lost.
TEST_F(JobStoreTest, EveryCrashPointLeavesASendableJob) {
    // Between the copy and its record: the copy is found again, with its spool file's name.
    const std::string copy =
        outbox.keep(invoice, "00040.spl", "07/12/2026", clock.now(), *store).path;
    std::ofstream(temp.file("outbox") + "/20261207-140509042-9-00041.spl.part") << "half";
    const auto orphans = outbox.orphans(store->copyPaths());
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].path, copy);
    EXPECT_EQ(Outbox::spoolNameOf(copy), "00040.spl");
    EXPECT_EQ(files.list(outbox.folder()).size(), 1u); // the unfinished copy is gone

    // Between the record and the send, and between the send and its answer.
    const std::int64_t waiting = record("00031.spl");
    const std::int64_t inFlight = record("00032.spl");
    store->claim(inFlight);
    reopen();
    const auto first = store->nextWaiting();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->key, waiting);
    EXPECT_EQ(first->customer, L"M DUPONT JEAN-FRAN\u00c7OIS");
    EXPECT_EQ(files.readShared(first->copyPath), invoice);
    store->markSent(waiting, "41");
    const auto second = store->nextWaiting();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->key, inFlight);
    EXPECT_TRUE(second->maybeDuplicate);
    EXPECT_EQ(second->attempts, 1);
    EXPECT_EQ(outbox.orphans(store->copyPaths()).size(), 1u);
}

// A send whose answer could not be recorded (the store busy, the disk full) leaves the job in
// flight; when it is picked up again, the server may have it already.
TEST_F(JobStoreTest, ASendOfAJobAlreadyInFlightIsFlagged) {
    const std::int64_t key = record();
    store->claim(key);
    EXPECT_FALSE(store->find(key)->maybeDuplicate);
    store->claim(key);
    store->markSent(key, "12");
    EXPECT_EQ(jobStateText(*store->find(key)), "envoyée (peut-être en double)");
}

// The sender reads the next job, then claims it; its complete version may replace it in between,
// and then only the complete one goes.
TEST_F(JobStoreTest, AJobReplacedAfterItWasReadIsNotClaimed) {
    const std::int64_t earlier = record();
    ASSERT_EQ(store->nextWaiting()->key, earlier);
    ASSERT_TRUE(store->replaceUnsent(earlier));
    EXPECT_FALSE(store->claim(earlier));
    EXPECT_EQ(store->find(earlier)->attempts, 0);

    const std::int64_t claimed = record();
    ASSERT_TRUE(store->claim(claimed));
    EXPECT_FALSE(store->replaceUnsent(claimed));
}

// Only what has gone (or was no invoice) is ever forgotten or left out of the list: a job still to
// be sent or looked at stays, whatever its age.
TEST_F(JobStoreTest, OnlySettledJobsAreForgottenOrHidden) {
    clock.set({2026, 9, 1, 10, 0, 0, 0});
    const std::int64_t oldSent = record("00001.spl");
    store->markSent(oldSent, "7");
    const std::int64_t oldRefused = record("00002.spl");
    store->markRefused(oldRefused, "erreur");
    const std::int64_t oldWaiting = record("00003.spl");
    clock.set({2026, 12, 7, 9, 0, 0, 0});
    const std::int64_t recent = record("00004.spl");

    std::vector<std::int64_t> listed;
    for (const StoredJob& job : store->listed(addDays(clock.now(), -7)))
        listed.push_back(job.key);
    EXPECT_THAT(listed, ::testing::ElementsAre(oldRefused, oldWaiting, recent));
    const auto forgettable = store->settledBefore(addDays(clock.now(), -90));
    ASSERT_EQ(forgettable.size(), 1u);
    EXPECT_EQ(forgettable[0].key, oldSent);
    store->forget(oldSent);
    EXPECT_FALSE(store->find(oldSent));
    EXPECT_EQ(store->lastJobNumber(), 4);
}

TEST_F(JobStoreTest, AFileThatIsNotAJobStoreIsRefused) {
    std::ofstream(temp.file("other.db")) << std::string(4096, 'x');
    EXPECT_THROW(JobStore(temp.file("other.db")), Error);
}

// A store written before its schema had a version keeps its jobs; one from a later program is
// refused rather than written in a layout this one does not know.
TEST_F(JobStoreTest, StoresOfEarlierSchemaVersionsAreTakenInLaterOnesRefused) {
    const std::int64_t key = record();
    const auto setVersion = [this](int version) {
        store.reset();
        sqlite::Database(temp.file("quorva.db"), SQLITE_OPEN_READWRITE, "")
            .exec("PRAGMA user_version = " + std::to_string(version));
    };
    setVersion(0);
    reopen();
    EXPECT_TRUE(store->find(key));
    EXPECT_EQ(sqlite::Database(temp.file("quorva.db"), SQLITE_OPEN_READWRITE, "").schemaVersion(),
              5);
    setVersion(6);
    EXPECT_THROW(reopen(), Error);
}

// A store of version 4 kept local times: they are taken in as UTC by the zone's rules of their own
// dates, winter and summer alike, so that the kept files are still known.
TEST_F(JobStoreTest, TheLocalTimesOfAnEarlierStoreAreTakenInAsUtc) {
    const testkit::ScopedTimeZone paris("CET-1CEST,M3.5.0,M10.5.0/3");
    const auto recordWritten = [this](const std::string& name, const DateTime& written) {
        StoredJob job;
        job.spoolName = name;
        job.capturedAt = written;
        job.spoolWritten = written;
        store->add(job);
    };
    recordWritten("winter.spl", {2026, 1, 15, 10, 0, 0, 0});
    recordWritten("summer.spl", {2026, 7, 15, 10, 0, 0, 0});
    recordWritten("oldest.spl", {2026, 2, 1, 8, 0, 0, 0});
    store->markWatched({2026, 7, 1, 9, 0, 0, 0});
    store.reset();
    {
        sqlite::Database v4(temp.file("quorva.db"), SQLITE_OPEN_READWRITE, "");
        // The oldest stores knew a file by its capture time alone.
        v4.exec("UPDATE jobs SET spool_written = '' WHERE spool_name = 'oldest.spl';"
                "ALTER TABLE copies DROP COLUMN print_date; PRAGMA user_version = 4");
    }
    reopen();
    for (const auto& [name, utc] :
         std::vector<std::pair<std::string, DateTime>>{{"winter.spl", {2026, 1, 15, 9, 0, 0, 0}},
                                                       {"summer.spl", {2026, 7, 15, 8, 0, 0, 0}},
                                                       {"oldest.spl", {2026, 2, 1, 7, 0, 0, 0}}}) {
        EXPECT_TRUE(store->knows(name, utc)) << name;
        DateTime later = utc;
        later.millisecond = 1;
        EXPECT_FALSE(store->knows(name, later)) << name;
    }
    EXPECT_EQ(store->watchedSince(), (DateTime{2026, 7, 1, 7, 0, 0, 0}));
}

// A store from before copies were vouched for proves none: its jobs still to be sent are left to
// the user, whatever their copies are named.
TEST_F(JobStoreTest, AJobWaitingInAStoreFromBeforeTheProofsIsNotSentOnItsOwn) {
    const std::int64_t key = record();
    store.reset();
    sqlite::Database(temp.file("quorva.db"), SQLITE_OPEN_READWRITE, "")
        .exec("DROP TABLE copies; PRAGMA user_version = 2");
    reopen();
    EXPECT_FALSE(store->nextWaiting());
    EXPECT_EQ(store->find(key)->state, JobState::ToCheck);
}

// The store's file was writable by every user before the service: a trigger planted in it would
// run with the service's rights, and a rewritten schema text could do the same later.
TEST_F(JobStoreTest, AStorePreparedByAnAttackerRunsNothingOfItsSchema) {
    const std::int64_t key = record();
    store.reset();
    {
        sqlite::Database planted(temp.file("quorva.db"), SQLITE_OPEN_READWRITE, "");
        planted.exec("CREATE TRIGGER planted AFTER UPDATE ON jobs BEGIN "
                     "INSERT OR REPLACE INTO store VALUES ('planted', 'ran'); END");
        planted.exec("PRAGMA writable_schema = ON");
        EXPECT_THROW(planted.exec("UPDATE sqlite_schema SET sql = sql WHERE name = 'jobs'"), Error);
    }
    reopen();
    store->claim(key);
    sqlite::Database look(temp.file("quorva.db"), SQLITE_OPEN_READONLY, "");
    sqlite::Statement ran(look, "SELECT COUNT(*) FROM store WHERE name = 'planted'");
    ASSERT_TRUE(ran.step());
    EXPECT_EQ(ran.integer(0), 0);
}

// A record's copy path is trusted only when it names a file directly in the outbox, named as the
// outbox names its copies: no way out of the folder, no file of another kind.
TEST(OutboxTest, HoldsOnlyFilesNamedAsItsCopiesDirectlyInIt) {
    testkit::MemoryFileSystem disk;
    JobStore ledger(":memory:");
    Outbox outbox(disk, "C:\\data\\outbox");
    const std::string copy =
        outbox.keep("FACTURE", "00031.spl", "07/12/2026", {2026, 12, 7, 14, 5, 9, 42}, ledger).path;
    EXPECT_TRUE(outbox.holds(copy));
    EXPECT_TRUE(ledger.wroteCopy(copy.substr(outbox.folder().size() + 1)));
    for (const std::string planted :
         {"C:\\data\\outbox\\..\\quorva.db", "C:\\data\\outbox\\20261207-140509042-1-..",
          "C:\\data\\outbox\\notes.txt", "C:\\data\\outbox\\20261207-140509042-2-a.spl.part",
          "C:\\data\\outbox2\\20261207-140509042-3-00031.spl",
          "C:\\data\\outbox\\2026-1-1-a.spl"}) {
        disk.put(planted, "x");
        EXPECT_FALSE(outbox.holds(planted)) << planted;
    }
    // Named as a copy, but not there.
    EXPECT_FALSE(outbox.holds("C:\\data\\outbox\\20261207-140509042-4-00032.spl"));
}

TEST(RetryScheduleTest, GrowingPausesThenEveryQuarterHour) {
    const int expected[] = {30, 60, 120, 300, 600, 900, 900};
    for (int failures = 1; failures <= 7; ++failures)
        EXPECT_EQ(retryDelaySeconds(failures), expected[failures - 1]) << failures;
    EXPECT_EQ(addSeconds({2026, 12, 31, 23, 59, 45, 0}, 30), (DateTime{2027, 1, 1, 0, 0, 15, 0}));
}

} // namespace
} // namespace quorva
