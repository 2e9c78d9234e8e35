#include "core/it_alerts.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorva {
namespace {

struct RecordingEventLog final : ItEventLog {
    void report(ItEvent event, const std::string&) override { events.push_back(event); }
    std::vector<ItEvent> events;
};

// Across midnight, so that the hour is counted on the calendar, not on the time of day.
TEST(ItAlertsTest, TransfersFailingForMoreThanAnHourAreToldOnceUntilAJobIsSent) {
    RecordingEventLog log;
    testkit::ManualClock clock{{2026, 12, 31, 23, 30, 0, 0}};
    ItAlerts alerts(log, clock);
    alerts.jobState(JobState::Failed);
    clock.set({2027, 1, 1, 0, 30, 0, 0});
    alerts.jobState(JobState::Refused);
    alerts.jobState(JobState::Failed);
    EXPECT_TRUE(log.events.empty()) << "an hour exactly is not yet more than an hour";

    clock.set({2027, 1, 1, 0, 30, 1, 0});
    alerts.jobState(JobState::Failed);
    alerts.jobState(JobState::Failed);
    EXPECT_EQ(log.events, std::vector{ItEvent::JobsFailing});

    alerts.jobState(JobState::Sent);
    alerts.jobState(JobState::Failed);
    clock.set({2027, 1, 1, 1, 30, 2, 0});
    alerts.jobState(JobState::Failed);
    EXPECT_EQ(log.events.size(), 2u);
}

} // namespace
} // namespace quorva
