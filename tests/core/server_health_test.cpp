#include "core/server_status.h"

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

TEST(ServerStatusTest, FailuresCountAfterFifteenMinutesAcrossMidnightAndEndWithAnAnswer) {
    ServerStatus status;
    status.failed({2026, 12, 7, 23, 50, 0, 0});
    EXPECT_FALSE(status.failingLongEnough({2026, 12, 8, 0, 4, 0, 0}));
    EXPECT_TRUE(status.failingLongEnough({2026, 12, 8, 0, 5, 0, 0}));
    status.answered();
    EXPECT_FALSE(status.failingLongEnough({2026, 12, 8, 1, 0, 0, 0}));
}

} // namespace
} // namespace quorva
