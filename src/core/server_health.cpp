#include "core/server_health.h"

#include "platform/date_format.h"

namespace quorva {

std::string pendingInvoicesText(int count) {
    return std::to_string(count) + (count == 1 ? " facture en attente" : " factures en attente");
}

void ServerHealth::answered() {
    known_ = true;
    episode_.end();
}

void ServerHealth::failed(const DateTime& now) {
    known_ = true;
    episode_.fail(now);
}

std::string ServerHealth::text(int pending) const {
    if (!known_)
        return {};
    if (!episode_.since())
        return "Serveur joignable";
    return "Serveur injoignable depuis " + formatPicture(*episode_.since(), "HH:mm") + " — " +
           pendingInvoicesText(pending);
}

bool ServerHealth::failingLongEnough(const DateTime& now) const {
    return episode_.elapsed(now, 60) >= kFailureNoticeMinutes;
}

} // namespace quorva
