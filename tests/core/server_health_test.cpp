#include "core/server_health.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

TEST(ServerHealthTest, SaysNothingBeforeTheFirstResultThenWhetherTheServerAnswers) {
    ServerHealth health;
    EXPECT_EQ(health.text(3), "");
    health.failed({2026, 12, 7, 9, 4, 0, 0});
    health.failed({2026, 12, 7, 9, 30, 0, 0}); // the episode began at the first failure
    EXPECT_EQ(health.text(2), "Serveur injoignable depuis 09:04 — 2 factures en attente");
    EXPECT_EQ(health.text(1), "Serveur injoignable depuis 09:04 — 1 facture en attente");
    health.answered();
    EXPECT_EQ(health.text(0), "Serveur joignable");
}

TEST(ServerHealthTest, FailuresCountAfterFifteenMinutesAcrossMidnightAndEndWithAnAnswer) {
    ServerHealth health;
    health.failed({2026, 12, 7, 23, 50, 0, 0});
    EXPECT_FALSE(health.failingLongEnough({2026, 12, 8, 0, 4, 0, 0}));
    EXPECT_TRUE(health.failingLongEnough({2026, 12, 8, 0, 5, 0, 0}));
    health.answered();
    EXPECT_FALSE(health.failingLongEnough({2026, 12, 8, 1, 0, 0, 0}));
}

} // namespace
} // namespace quorva
