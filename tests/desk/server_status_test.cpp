#include "desk/server_status.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

TEST(ServerStatusTest, SaysNothingBeforeTheFirstResultThenWhetherTheServerAnswers) {
    ServerStatus status;
    EXPECT_EQ(status.text(3), "");
    status.failed({2026, 12, 7, 9, 4, 0, 0});
    status.failed({2026, 12, 7, 9, 30, 0, 0}); // the episode began at the first failure
    EXPECT_EQ(status.text(2), "Serveur injoignable depuis 09:04 — 2 factures en attente");
    EXPECT_EQ(status.text(1), "Serveur injoignable depuis 09:04 — 1 facture en attente");
    status.answered();
    EXPECT_EQ(status.text(0), "Serveur joignable");
}

TEST(ServerStatusTest, TellsOncePerEpisodeAfterFifteenMinutesOfFailures) {
    ServerStatus status;
    status.failed({2026, 12, 7, 23, 50, 0, 0});
    EXPECT_FALSE(status.takeFailureNotice({2026, 12, 8, 0, 4, 0, 0}));
    EXPECT_TRUE(status.takeFailureNotice({2026, 12, 8, 0, 5, 0, 0}));
    EXPECT_FALSE(status.takeFailureNotice({2026, 12, 8, 1, 0, 0, 0}));
    status.answered();
    status.failed({2026, 12, 8, 2, 0, 0, 0});
    EXPECT_TRUE(status.takeFailureNotice({2026, 12, 8, 2, 15, 0, 0}));
}

} // namespace
} // namespace quorva
