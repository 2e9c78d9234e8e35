#include "net/certificate_chain.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

TEST(CertificateChain, RevocationRefusesOnlyAKnownRevokedCertificate) {
    using namespace chain_error;
    constexpr std::uint32_t unanswered = revocationUnknown | offlineRevocation;
    constexpr std::uint32_t untrustedRoot = 0x00000020; // CERT_TRUST_IS_UNTRUSTED_ROOT
    EXPECT_EQ(judgeChain(0), ChainVerdict::Trusted);
    EXPECT_EQ(judgeChain(unanswered), ChainVerdict::Trusted);
    EXPECT_EQ(judgeChain(revocationUnknown), ChainVerdict::Trusted);
    EXPECT_EQ(judgeChain(revoked), ChainVerdict::Revoked);
    EXPECT_EQ(judgeChain(revoked | untrustedRoot | notTimeValid), ChainVerdict::Revoked);
    EXPECT_EQ(judgeChain(unanswered | notTimeValid), ChainVerdict::NotTimeValid);
    EXPECT_EQ(judgeChain(unanswered | untrustedRoot), ChainVerdict::Untrusted);
}

} // namespace
} // namespace quorva
