#pragma once

// What the desk knows of the report server, from the sender's last results: reachable, or
// unreachable since the first failure of the current episode. An episode of failures ends with
// the next answer from the server. Each desk tells its user once per episode, when it has lasted
// kFailureNoticeMinutes.

#include "core/failure_episode.h"

#include <string>

namespace quorva {

inline constexpr int kFailureNoticeMinutes = 15;

// "1 facture en attente", "2 factures en attente".
std::string pendingInvoicesText(int count);

class ServerHealth {
public:
    // The server answered a send (with a report id or a refusal).
    void answered();
    // A send failed on its way to the server.
    void failed(const DateTime& now);

    // "Serveur joignable" or "Serveur injoignable depuis HH:MM — N factures en attente"; empty
    // before the sender's first result.
    std::string text(int pending) const;
    // Whether the current episode of failures has lasted long enough to tell the user.
    bool failingLongEnough(const DateTime& now) const;

private:
    bool known_ = false;
    FailureEpisode episode_;
};

} // namespace quorva
