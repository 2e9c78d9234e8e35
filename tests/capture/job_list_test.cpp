#include "capture/job_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorva {
namespace {

Job named(const std::string& name, std::int64_t storeKey = 0, bool fromHistory = false) {
    Job job;
    job.spoolName = name;
    job.storeKey = storeKey;
    job.fromHistory = fromHistory;
    return job;
}

TEST(JobListTest, FindsTheLastJobOfANameButNeverOneFromTheHistory) {
    JobList jobs;
    jobs.add(named("00012.spl", 7, /*fromHistory=*/true));
    EXPECT_EQ(jobs.findByName("00012.spl"), kNoJob); // the spooler reuses numbers
    EXPECT_EQ(jobs.findByStoreKey(7), 0);
    const JobId first = jobs.add(named("00012.spl"));
    jobs.add(named("00013.spl"));
    EXPECT_EQ(jobs.findByName("00012.spl"), first);
    EXPECT_EQ(jobs.findByName("00012.SPL"), kNoJob);
    EXPECT_EQ(jobs.findByName("00012"), kNoJob);
    const JobId again = jobs.add(named("00012.spl"));
    // A change to the earlier job does not take the name back from the later one.
    jobs.update(first, [](Job& job) { job.storeKey = 9; });
    EXPECT_EQ(jobs.findByName("00012.spl"), again);
    EXPECT_EQ(jobs.findByStoreKey(9), first);
    EXPECT_EQ(jobs.findByStoreKey(8), kNoJob);
}

class RecordingListener final : public JobListListener {
public:
    void jobAdded(JobId id) override { events.push_back("added " + std::to_string(id)); }
    void jobChanged(JobId id) override { events.push_back("changed " + std::to_string(id)); }
    std::vector<std::string> events;
};

TEST(JobListTest, TheListenerHearsEveryAdditionAndChange) {
    JobList jobs;
    RecordingListener listener;
    jobs.setListener(&listener);
    jobs.add(named("a.spl"));
    jobs.add(named("b.spl"));
    jobs.update(0, [](Job& job) { job.customer = L"M DUPONT"; });
    EXPECT_THAT(listener.events, ::testing::ElementsAre("added 0", "added 1", "changed 0"));
    EXPECT_EQ(jobs.at(0).customer, L"M DUPONT");
}

} // namespace
} // namespace quorva
