#include "core/capture_core.h"

#include "support/change_buffer.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>

namespace quorva {
namespace {

using namespace std::chrono_literals;

// The core as the window drives it, with the sender's posts carried back to the test's thread
// and a transport that answers from the test.
class CaptureCoreTest : public ::testing::Test, public CaptureObserver {
protected:
    class FakeTransport final : public Transport {
    public:
        explicit FakeTransport(CaptureCoreTest& test) : test_(test) {}
        UploadOutcome send(const UploadRequest& request, const SenderSettings& settings) override {
            const std::lock_guard lock(test_.mutex_);
            test_.sent.push_back({request, settings, test_.files.readShared(request.readFrom)});
            return {UploadOutcome::Kind::Sent, std::to_string(41 + test_.sent.size()), {}, false};
        }
        void interrupt() override {}

    private:
        CaptureCoreTest& test_;
    };
    struct Sent {
        UploadRequest request;
        SenderSettings settings;
        std::string bytes;
    };

    CaptureCore& open(const CaptureSettings& settings) {
        core = std::make_unique<CaptureCore>(
            CaptureCore::Services{files, clock, locale, temp.file("data"),
                                  [this](std::int64_t key) {
                                      const std::lock_guard lock(mutex_);
                                      posted_.push_back(key);
                                      changed_.notify_all();
                                  },
                                  [this] { return std::make_unique<FakeTransport>(*this); }},
            *this, settings);
        EXPECT_EQ(core->open(), std::nullopt);
        return *core;
    }
    // Waits for the sender's next post and hands it to the core, as the window's message does.
    void deliverNextPost() {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, 30s, [this] { return !posted_.empty(); }));
        const std::int64_t key = posted_.front();
        posted_.pop_front();
        lock.unlock();
        core->onJobChanged(key);
    }

    testing::TempDir temp;
    testing::TempDir spool;
    testing::ManualClock clock{{2026, 12, 7, 14, 5, 9, 0}};
    FixedLocale locale;
    SystemFiles files;
    std::unique_ptr<CaptureCore> core;
    std::vector<Sent> sent;
    std::vector<std::string> events;

    void eventAdded(const std::string& line) override { events.push_back(line); }
    void eventsCleared() override { events.clear(); }
    void statusChanged(const std::string&) override {}

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::int64_t> posted_;
};

TEST_F(CaptureCoreTest, APrintedInvoiceIsSentFromItsCopyAndShowsItsReportId) {
    CaptureCore& capture = open({spool.path(), "VERNO", {"http://reports/", {}, 80}});
    capture.watchingStarted(spool.path());
    const std::string invoice = files.readShared(std::string(QUORVA_TEST_DATA) + "/invoice-1.spl");
    spool.write("00012.spl", invoice);
    const testing::ChangeBuffer buffer = testing::changeBuffer({{1, u"00012.SPL"}}, false);
    ASSERT_TRUE(capture.onChanges(buffer.bytes.data(), buffer.bytes.size(), buffer.transferred,
                                  spool.path()));
    for (int pass = 0; pass < 7; ++pass)
        capture.pollPass([] {});
    // Recorded before anything went on the wire; the spool file may go now.
    ASSERT_EQ(capture.jobs().size(), 1);
    EXPECT_EQ(capture.jobs().at(0).customer, L"M DUPONT JEAN-FRAN\u00c7OIS");
    std::filesystem::remove(spool.file("00012.spl"));

    deliverNextPost();
    const Job& job = capture.jobs().at(0);
    EXPECT_EQ(job.reportId, "42");
    EXPECT_EQ(job.stateText, "Envoyée");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, invoice);
    EXPECT_EQ(sent[0].request.site, "VERNO");
    EXPECT_EQ(sent[0].request.jobNumber, 1);
}

TEST_F(CaptureCoreTest, TheProxySetAtStartReachesTheFirstSendOfAJobLeftWaiting) {
    std::filesystem::create_directories(temp.file("data") + "/outbox");
    {
        JobStore store(temp.file("data") + "\\quorva.db");
        StoredJob waiting;
        waiting.spoolName = "00031.spl";
        waiting.copyPath = spool.write("copy.spl", "FACTURE");
        waiting.jobNumber = 7;
        waiting.capturedAt = clock.now();
        store.add(waiting);
    }
    open({spool.path(), "VERNO", {"http://reports/", "proxy.local", 3128}});
    deliverNextPost();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].settings.proxyServer, "proxy.local");
    EXPECT_EQ(sent[0].settings.proxyPort, 3128);
    EXPECT_EQ(sent[0].request.jobNumber, 7);
}

} // namespace
} // namespace quorva
