#include "store_fixture.h"

#include "store/retry_schedule.h"
#include "upload/sender.h"

#include <gmock/gmock.h>

#include <condition_variable>
#include <deque>
#include <functional>

namespace quorva {
namespace {

using Kind = UploadOutcome::Kind;

class SenderTest : public StoreFixture {
protected:
    // The server: its answers in order, and the files sent, by name.
    class FakeTransport final : public Transport {
    public:
        explicit FakeTransport(SenderTest& test) : test_(test) {}
        UploadOutcome send(const UploadRequest& request, const SenderSettings& settings) override {
            EXPECT_EQ(settings.serverUrl, "http://reports/");
            EXPECT_EQ(test_.files.readShared(request.readFrom), test_.invoice);
            const std::lock_guard lock(test_.mutex);
            test_.sent.push_back(request.fileName);
            UploadOutcome outcome = test_.answers.front();
            test_.answers.pop_front();
            return outcome;
        }
        void interrupt() override {}

    private:
        SenderTest& test_;
    };

    std::deque<UploadOutcome> answers;
    std::vector<std::string> sent;
    std::vector<std::int64_t> told;
    std::mutex mutex;
    std::condition_variable changed;
    Sender sender{*store,
                  outbox,
                  clock,
                  std::make_unique<FakeTransport>(*this),
                  SenderSettings{"http://reports/", {}, 80},
                  [this](std::int64_t key) {
                      const std::lock_guard lock(mutex);
                      told.push_back(key);
                      changed.notify_all();
                  }};

    void later(int seconds) { clock.set(addSeconds(clock.now(), seconds)); }
    std::string state(std::int64_t key) const { return jobStateText(*store->find(key)); }
};

TEST_F(SenderTest, FailedJobsWaitByTheScheduleUntilTheServerIsBack) {
    const std::int64_t first = record("00001.spl");
    const std::int64_t second = record("00002.spl");
    answers = {{Kind::Failed, {}, "connexion refusée", false},
               {Kind::Failed, {}, "connexion refusée", false}};
    EXPECT_TRUE(sender.sendNext());
    EXPECT_TRUE(sender.sendNext());
    EXPECT_FALSE(sender.sendNext()); // both wait 30 s
    EXPECT_EQ(state(first), "Échec : connexion refusée — nouvel essai à 14:05");

    later(31);
    answers = {{Kind::Failed, {}, "délai dépassé", true}};
    EXPECT_TRUE(sender.sendNext()); // the oldest first; now it waits 1 min
    EXPECT_EQ(store->find(first)->nextAttempt.minute, 6);
    answers = {{Kind::Sent, "8", {}, false}};
    EXPECT_TRUE(sender.sendNext());
    EXPECT_EQ(state(second), "Envoyée");

    // One job got through: the other is sent at once, and its lost answer is told.
    answers = {{Kind::Sent, "9", {}, false}};
    EXPECT_TRUE(sender.sendNext());
    EXPECT_EQ(state(first), "envoyée (peut-être en double)");
    EXPECT_EQ(store->find(first)->reportId, "9");
    EXPECT_THAT(sent, ::testing::ElementsAre("00001.spl", "00002.spl", "00001.spl", "00002.spl",
                                             "00001.spl"));
    EXPECT_THAT(told, ::testing::ElementsAre(first, second, first, second, first));
}

// The waits run on elapsed time: a wall clock set back a day, or forward, neither stalls a failed
// job nor sends it early.
TEST_F(SenderTest, AMovedWallClockNeitherStallsNorHurriesAFailedJob) {
    const std::int64_t key = record();
    answers = {{Kind::Failed, {}, "connexion refusée", false}};
    EXPECT_TRUE(sender.sendNext());
    clock.setWallClock({2026, 12, 6, 14, 5, 9, 42});
    later(29);
    EXPECT_FALSE(sender.sendNext());
    clock.setWallClock({2027, 3, 1, 9, 0, 0, 0});
    EXPECT_FALSE(sender.sendNext());
    later(2);
    answers = {{Kind::Sent, "5", {}, false}};
    EXPECT_TRUE(sender.sendNext());
    EXPECT_EQ(state(key), "Envoyée");
}

TEST_F(SenderTest, ARefusedJobIsSentAgainOnlyOnDemand) {
    const std::int64_t key = record();
    answers = {{Kind::Refused, {}, "le serveur a répondu par une erreur", false}};
    EXPECT_TRUE(sender.sendNext());
    later(3600);
    EXPECT_FALSE(sender.sendNext());
    EXPECT_EQ(state(key), "Refusée");
    store->sendAgain(key);
    answers = {{Kind::Sent, "12", {}, false}};
    EXPECT_TRUE(sender.sendNext());
    EXPECT_EQ(state(key), "Envoyée");
}

// Each record is checked again before it goes: the store was everyone's file before the service.
// A field that could not have come from this program keeps the whole job from the wire.
TEST_F(SenderTest, ARecordWithAFieldThatIsNotPlainIsLeftToTheUser) {
    const auto planted = [this](const std::function<void(StoredJob&)>& change) {
        StoredJob job = *store->find(record());
        store->markSent(job.key, "1");
        change(job);
        return store->add(job);
    };
    const std::int64_t keys[] = {
        planted([](StoredJob& job) { job.site = "VERNO\r\nX-Site: autre"; }),
        planted([](StoredJob& job) { job.spoolName = "..\\quorva.db"; }),
        planted([](StoredJob& job) { job.reportId = "../../rapport"; }),
    };
    answers = {
        {Kind::Sent, "2", {}, false}, {Kind::Sent, "3", {}, false}, {Kind::Sent, "4", {}, false}};
    while (sender.sendNext()) {
    }
    EXPECT_TRUE(sent.empty());
    for (const std::int64_t key : keys)
        EXPECT_EQ(state(key).rfind("À vérifier : enregistrement refusé", 0), 0u) << state(key);
}

TEST_F(SenderTest, TheThreadSendsWhatIsWaitingAndStops) {
    answers = {{Kind::Sent, "1", {}, false}};
    const std::int64_t key = record();
    sender.start();
    sender.wake();
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return !told.empty(); }));
    lock.unlock();
    sender.stop();
    EXPECT_EQ(store->find(key)->reportId, "1");
}

} // namespace
} // namespace quorva
