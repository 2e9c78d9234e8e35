#pragma once

// A job's state, the one place that says what each state means: the store's SQL lists of states
// are written from the predicates below, never as bare numbers.

#include <string>

namespace quorva {

// The numbers are the store's: they are written in every store on disk and never change.
enum class JobState {
    Waiting = 0,      // recorded, not yet sent (or sent, with its answer not yet evaluated)
    Sent = 1,         // the server gave its report id
    Refused = 2,      // the server answered "erreur": sent again only on the user's demand
    Failed = 3,       // the transfer failed: sent again at `nextAttempt`
    NotAnInvoice = 4, // a spool file without the invoice layout: never sent
    ToCheck = 5,      // a copy found without its record: whether it went is unknown, so it is
                      // sent only on the user's demand; or a record that cannot be sent as it
                      // stands (its last error says why)
    Replaced = 6,     // an incomplete version whose complete one was recorded before it went
};
inline constexpr JobState kLastJobState = JobState::Replaced;

// Still to reach the server on its own: waiting, or failed and tried again later.
constexpr bool isPending(JobState state) {
    return state == JobState::Waiting || state == JobState::Failed;
}

// Sent again only when the user asks: refused, failed, or left for the user to check.
constexpr bool canSendAgain(JobState state) {
    return state == JobState::Refused || state == JobState::Failed || state == JobState::ToCheck;
}

// Still to be sent or looked at by the user: such a job is never forgotten and always listed.
constexpr bool isUnsettled(JobState state) {
    return isPending(state) || canSendAgain(state);
}

// The state as an SQL literal: "3".
std::string sqlState(JobState state);
// The states for which `holds` is true, as an SQL list: "(0, 3)".
std::string sqlStates(bool (*holds)(JobState));

} // namespace quorva
