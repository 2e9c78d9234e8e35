#include "ui/job_order.h"

#include "support/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorva {
namespace {

class JobOrderTest : public ::testing::Test {
protected:
    JobId add(const std::string& name, const DateTime& changedAt,
              const std::wstring& customer = {}) {
        Job job;
        job.spoolName = name;
        job.changedAt = changedAt;
        job.customer = customer;
        const JobId id = jobs.add(std::move(job));
        order.jobAdded(id);
        return id;
    }
    // The spool names, row by row.
    std::vector<std::string> rows() const {
        std::vector<std::string> names;
        for (int row = 0; row < order.rowCount(); ++row) {
            EXPECT_EQ(order.rowOf(order.jobAt(row)), row);
            names.push_back(jobs.at(order.jobAt(row)).spoolName);
        }
        return names;
    }

    FixedLocale locale;
    JobList jobs;
    JobOrder order{jobs, locale};
};

TEST_F(JobOrderTest, NewJobsGoBelowWhateverTheSort) {
    ASSERT_EQ(order.sortColumn(), JobColumn::ChangeTime);
    ASSERT_TRUE(order.sortDescending());
    add("b.spl", {2026, 12, 7, 10, 0, 0, 0});
    add("a.spl", {2026, 12, 7, 12, 0, 0, 0});
    add("c.spl", {2026, 12, 7, 11, 0, 0, 0});
    EXPECT_THAT(rows(), ::testing::ElementsAre("b.spl", "a.spl", "c.spl"));
    EXPECT_EQ(order.jobAt(3), kNoJob);
    EXPECT_EQ(order.rowOf(3), -1);
}

TEST_F(JobOrderTest, TheChangeTimeSortsByValueToTheSecondBothWays) {
    // In text order "02/01/2027" would come before "10/12/2026".
    add("late.spl", {2027, 1, 2, 8, 0, 0, 0});
    add("early.spl", {2026, 12, 10, 8, 0, 0, 900});
    add("same.spl", {2026, 12, 10, 8, 0, 0, 100}); // the same second as shown: the order holds
    add("noon.spl", {2026, 12, 10, 12, 0, 0, 0});

    order.sortByColumn(JobColumn::ChangeTime); // the mark was descending: the click reverses it
    EXPECT_FALSE(order.sortDescending());
    EXPECT_THAT(rows(), ::testing::ElementsAre("early.spl", "same.spl", "noon.spl", "late.spl"));
    order.sortByColumn(JobColumn::ChangeTime);
    EXPECT_TRUE(order.sortDescending());
    EXPECT_THAT(rows(), ::testing::ElementsAre("late.spl", "noon.spl", "early.spl", "same.spl"));
    EXPECT_EQ(jobCellText(jobs.at(0), JobColumn::ChangeTime, locale), L"02/01/2027 08:00:00");
}

TEST_F(JobOrderTest, TextColumnsSortAlphabeticallyIgnoringCase) {
    const wchar_t* customers[] = {L"b garage", L"\u00c9lodie", L"Abd", L"abc", L"", L"\u00e9mile"};
    for (int i = 0; i < 6; ++i)
        add("r" + std::to_string(i) + ".spl", {2026, 12, 7, 10, 0, 0, 0}, customers[i]);
    order.sortByColumn(JobColumn::Customer);
    EXPECT_EQ(order.sortColumn(), JobColumn::Customer);
    EXPECT_FALSE(order.sortDescending());
    EXPECT_THAT(rows(),
                ::testing::ElementsAre("r4.spl", "r3.spl", "r2.spl", "r0.spl", "r1.spl", "r5.spl"));
    order.sortByColumn(JobColumn::Customer);
    EXPECT_TRUE(order.sortDescending());
    EXPECT_THAT(rows(),
                ::testing::ElementsAre("r5.spl", "r1.spl", "r0.spl", "r2.spl", "r3.spl", "r4.spl"));
}

} // namespace
} // namespace quorva
