#include "core/daily_log.h"

#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

TEST(DailyLogTest, OneLinePerWriteOneFileADayKeptThirtyDays) {
    testkit::TempDir temp;
    testkit::ManualClock clock{{2026, 11, 1, 8, 30, 0, 0}};
    SystemFiles files;
    DailyLog log(files, clock);
    log.write("lost: no folder yet");
    log.open(temp.file("logs"));
    log.write("00031.spl : Envoyée");
    clock.set({2026, 12, 2, 9, 15, 7, 0});
    log.write("00032.spl : Refusée 100%\r\n09:15:08 forged");
    log.prune();

    EXPECT_EQ(files.list(temp.file("logs")).size(), 1u);
    EXPECT_EQ(files.readShared(temp.file("logs/quorva-2026-12-02.log")),
              "09:15:07 00032.spl : Refusée 100%25%0D%0A09:15:08 forged\r\n");
}

} // namespace
} // namespace quorva
