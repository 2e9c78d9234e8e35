#include "net/certificate_chain.h"

namespace quorva {

ChainVerdict judgeChain(std::uint32_t errorStatus) {
    if (errorStatus & chain_error::revoked)
        return ChainVerdict::Revoked;
    // An unanswered revocation check is no reason to refuse.
    errorStatus &= ~(chain_error::revocationUnknown | chain_error::offlineRevocation);
    if (errorStatus & chain_error::notTimeValid)
        return ChainVerdict::NotTimeValid;
    return errorStatus == 0 ? ChainVerdict::Trusted : ChainVerdict::Untrusted;
}

} // namespace quorva
