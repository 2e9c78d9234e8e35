#pragma once

// What the chain built for the server's certificate says of it, apart from the system's SSL
// policy: the policy lets some chains pass that the program refuses. Revocation is checked for
// every certificate but the root; a revocation server that cannot be reached, or that knows
// nothing of the certificate, does not stop the upload, but a certificate known to be revoked
// does.

#include <cstdint>

namespace quorva {

// The chain's error bits (CERT_TRUST_STATUS dwErrorStatus) that the verdict reads.
namespace chain_error {
constexpr std::uint32_t notTimeValid = 0x00000001;      // CERT_TRUST_IS_NOT_TIME_VALID
constexpr std::uint32_t revoked = 0x00000004;           // CERT_TRUST_IS_REVOKED
constexpr std::uint32_t revocationUnknown = 0x00000040; // CERT_TRUST_REVOCATION_STATUS_UNKNOWN
constexpr std::uint32_t offlineRevocation = 0x01000000; // CERT_TRUST_IS_OFFLINE_REVOCATION
} // namespace chain_error

enum class ChainVerdict {
    Trusted,
    Revoked,
    NotTimeValid,
    Untrusted, // any other error: the authority is not one the machine trusts
};

// Revoked wins over every other error.
ChainVerdict judgeChain(std::uint32_t errorStatus);

} // namespace quorva
