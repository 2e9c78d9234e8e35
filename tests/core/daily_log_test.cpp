#include "core/daily_log.h"

#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

TEST(DailyLogTest, OneFileADayKeptThirtyDays) {
    testing::TempDir temp;
    testing::ManualClock clock{{2026, 11, 1, 8, 30, 0, 0}};
    SystemFiles files;
    DailyLog log(files, clock);
    log.write("lost: no folder yet");
    log.open(temp.file("logs"));
    log.write("00031.spl : Envoyée");
    clock.set({2026, 12, 2, 9, 15, 7, 0});
    log.write("00032.spl : Refusée");
    log.prune();

    EXPECT_EQ(files.list(temp.file("logs")).size(), 1u);
    EXPECT_EQ(files.readShared(temp.file("logs/quorva-2026-12-02.log")),
              "09:15:07 00032.spl : Refusée\r\n");
}

} // namespace
} // namespace quorva
