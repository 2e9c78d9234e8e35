#include "core/server_status.h"

#include <cstdio>

namespace quorva {

namespace {

std::int64_t minutesOf(const DateTime& time) {
    return (daysFromCivil(time.year, time.month, time.day) * 24 + time.hour) * 60 + time.minute;
}

} // namespace

std::string pendingInvoicesText(int count) {
    return std::to_string(count) + (count == 1 ? " facture en attente" : " factures en attente");
}

void ServerStatus::answered() {
    known_ = true;
    failingSince_.reset();
}

void ServerStatus::failed(const DateTime& now) {
    known_ = true;
    if (!failingSince_)
        failingSince_ = now;
}

std::string ServerStatus::text(int pending) const {
    if (!known_)
        return {};
    if (!failingSince_)
        return "Serveur joignable";
    char since[8] = {};
    std::snprintf(since, sizeof since, "%02d:%02d", failingSince_->hour % 100,
                  failingSince_->minute % 100);
    return std::string("Serveur injoignable depuis ") + since + " — " +
           pendingInvoicesText(pending);
}

bool ServerStatus::failingLongEnough(const DateTime& now) const {
    return failingSince_ && minutesOf(now) - minutesOf(*failingSince_) >= kFailureNoticeMinutes;
}

} // namespace quorva
