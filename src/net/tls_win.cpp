// TLS over a connection with Schannel, through SSPI.
//
// The handshake runs InitializeSecurityContext until it returns SEC_E_OK, carrying its tokens
// over the transport. Schannel is told to leave the certificate alone (manual validation): the
// program checks the chain and the name itself once the handshake is done, before any byte of
// the request, so that a bad certificate is refused with the same reason on Windows and under
// Wine. Then each send is cut into records (EncryptMessage), and the bytes received are kept
// until a whole record has arrived (DecryptMessage); what follows a record stays for the next.
// The server ends its answer with close_notify: a connection closed without it may have been cut
// by anyone on the way, so it fails the read rather than ending the answer.

#include "net/tls.h"

#include "net/certificate_chain.h"

#include "platform/error.h"
#include "platform/system_error.h"

#define SECURITY_WIN32
// The newer credential form, which takes the protocols to refuse.
#define SCHANNEL_USE_BLACKLISTS
#include <windows.h>

#include <subauth.h>

#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>

namespace quorva {

namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr DWORD contextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                 ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                 ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

constexpr DWORD credentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;

Error tlsFailure(const std::string& reason) {
    return Error("Connexion sécurisée impossible : " + reason);
}

// The first byte of a TLS record that carries an alert (its content type).
constexpr unsigned char alertRecord = 21;

// SECURITY_FLAG_IGNORE_REVOCATION, which only the internet headers name.
constexpr DWORD ignoreRevocation = 0x00000080;

static_assert(chain_error::notTimeValid == CERT_TRUST_IS_NOT_TIME_VALID);
static_assert(chain_error::revoked == CERT_TRUST_IS_REVOKED);
static_assert(chain_error::revocationUnknown == CERT_TRUST_REVOCATION_STATUS_UNKNOWN);
static_assert(chain_error::offlineRevocation == CERT_TRUST_IS_OFFLINE_REVOCATION);

Error refusedCertificate(const std::string& reason) {
    return Error("Certificat du serveur refusé : " + reason);
}

std::string statusText(SECURITY_STATUS status) {
    switch (status) {
    case SEC_E_ALGORITHM_MISMATCH:
        return "aucun protocole ni chiffrement commun avec le serveur";
    case SEC_E_ILLEGAL_MESSAGE:
    case SEC_E_INVALID_TOKEN:
    case SEC_E_MESSAGE_ALTERED:
    case SEC_E_DECRYPT_FAILURE:
        return "le serveur a envoyé un message incompréhensible";
    default:
        return systemErrorText(static_cast<unsigned long>(status));
    }
}

std::string certificateProblem(DWORD code, const std::string& host) {
    switch (code) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
        return "autorité de certification inconnue";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        return "nom du certificat différent de " + host;
    case static_cast<DWORD>(CERT_E_EXPIRED):
    case static_cast<DWORD>(CERT_E_VALIDITYPERIODNESTING):
        return "certificat expiré ou pas encore valide";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
        return "certificat non prévu pour un serveur";
    default:
        return systemErrorText(code);
    }
}

std::chrono::milliseconds until(SteadyClock::time_point deadline) {
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()),
                    0ms);
}

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

struct ContextBufferDeleter {
    void operator()(void* buffer) const { FreeContextBuffer(buffer); }
};
using ContextBuffer = std::unique_ptr<void, ContextBufferDeleter>;

struct CertificateDeleter {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};

struct ChainDeleter {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};

class SchannelConnection final : public TlsConnection {
public:
    SchannelConnection(std::unique_ptr<Connection> transport, std::string host)
        : transport_(std::move(transport)), host_(std::move(host)) {}
    ~SchannelConnection() override;

    void handshake(std::chrono::milliseconds limit) override;
    void sendAll(std::string_view bytes, std::chrono::milliseconds limit) override;
    std::size_t receive(char* buffer, std::size_t count, std::chrono::milliseconds limit) override;
    bool peerClosed() const override { return peerDone_ || transport_->peerClosed(); }
    void shutdown() override { transport_->shutdown(); }

private:
    void acquireCredentials();
    // One call of InitializeSecurityContext on the bytes received so far; sends its token and
    // keeps what it left unread.
    SECURITY_STATUS step(SteadyClock::time_point deadline);
    // Appends what the transport gives; false when the peer has closed.
    bool receiveMore(SteadyClock::time_point deadline);
    void checkServerCertificate() const;
    // Decrypts the first record received; false when it has not all arrived yet.
    bool decryptRecord(SteadyClock::time_point deadline);

    std::unique_ptr<Connection> transport_;
    std::string host_;
    CredHandle credentials_{};
    bool haveCredentials_ = false;
    CtxtHandle context_{};
    bool haveContext_ = false;
    SecPkgContext_StreamSizes sizes_{};
    std::string incoming_; // received, not yet decrypted
    std::string plain_;    // decrypted, not yet handed out
    std::size_t plainStart_ = 0;
    std::string record_;
    bool peerDone_ = false;
};

SchannelConnection::~SchannelConnection() {
    if (haveContext_)
        DeleteSecurityContext(&context_);
    if (haveCredentials_)
        FreeCredentialsHandle(&credentials_);
}

void SchannelConnection::acquireCredentials() {
    char package[] = UNISP_NAME_A;
    TimeStamp expiry{};
    // Newer systems take the protocols to refuse: all below TLS 1.2, so that what the system
    // offers above it is used.
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols =
        ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = credentialFlags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &parameters;
    SECURITY_STATUS status =
        AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &current,
                                  nullptr, nullptr, &credentials_, &expiry);
    if (status != SEC_E_OK) {
        // Older systems, and Wine, know only the older form, which names the protocol allowed.
        SCHANNEL_CRED older{};
        older.dwVersion = SCHANNEL_CRED_VERSION;
        older.dwFlags = credentialFlags;
        older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        status = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older,
                                           nullptr, nullptr, &credentials_, &expiry);
    }
    if (status != SEC_E_OK)
        throw tlsFailure(statusText(status));
    haveCredentials_ = true;
}

bool SchannelConnection::receiveMore(SteadyClock::time_point deadline) {
    std::array<char, 16384> buffer;
    const std::size_t got = transport_->receive(buffer.data(), buffer.size(), until(deadline));
    incoming_.append(buffer.data(), got);
    return got > 0;
}

SECURITY_STATUS SchannelConnection::step(SteadyClock::time_point deadline) {
    std::array<SecBuffer, 2> input{{
        {static_cast<unsigned long>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
        {0, SECBUFFER_EMPTY, nullptr},
    }};
    SecBufferDesc inputList{SECBUFFER_VERSION, static_cast<unsigned long>(input.size()),
                            input.data()};
    SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outputList{SECBUFFER_VERSION, 1, &output};
    unsigned long attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextA(
        &credentials_, haveContext_ ? &context_ : nullptr, host_.data(), contextRequest, 0, 0,
        haveContext_ ? &inputList : nullptr, 0, haveContext_ ? nullptr : &context_, &outputList,
        &attributes, nullptr);
    const ContextBuffer token(output.pvBuffer);
    if (!haveContext_ && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK))
        haveContext_ = true;
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return status;
    // Also the alert that tells the server why the handshake ends.
    if (output.cbBuffer > 0 && output.pvBuffer != nullptr)
        transport_->sendAll(
            std::string_view(static_cast<const char*>(output.pvBuffer), output.cbBuffer),
            until(deadline));
    if (input[1].BufferType == SECBUFFER_EXTRA)
        incoming_.erase(0, incoming_.size() - input[1].cbBuffer);
    else
        incoming_.clear();
    return status;
}

void SchannelConnection::handshake(std::chrono::milliseconds limit) {
    const auto deadline = SteadyClock::now() + limit;
    acquireCredentials();
    SECURITY_STATUS status = step(deadline);
    while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
        if ((incoming_.empty() || status == SEC_E_INCOMPLETE_MESSAGE) && !receiveMore(deadline))
            throw tlsFailure("le serveur a fermé la connexion");
        status = step(deadline);
    }
    if (status != SEC_E_OK)
        throw tlsFailure(statusText(status));
    checkServerCertificate();
    status = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK)
        throw tlsFailure(statusText(status));
}

void SchannelConnection::checkServerCertificate() const {
    PCCERT_CONTEXT presented = nullptr;
    if (QueryContextAttributesA(const_cast<CtxtHandle*>(&context_), SECPKG_ATTR_REMOTE_CERT_CONTEXT,
                                &presented) != SEC_E_OK ||
        presented == nullptr)
        throw refusedCertificate("le serveur n'en a présenté aucun");
    const std::unique_ptr<const CERT_CONTEXT, CertificateDeleter> certificate(presented);

    char serverAuthentication[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuthentication};
    CERT_CHAIN_PARA chainRequest{};
    chainRequest.cbSize = sizeof chainRequest;
    chainRequest.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainRequest.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainRequest.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    // The intermediate authorities the server sent come with the certificate's own store.
    if (!CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate->hCertStore,
                                 &chainRequest, CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT,
                                 nullptr, &built))
        throw refusedCertificate(systemErrorText(GetLastError()));
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainDeleter> chain(built);

    std::wstring serverName = wide(host_);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = serverName.data();
    // Revocation is judged below, from the chain: a policy stopped at an unanswered revocation
    // check (Wine's) would not look at the name.
    ssl.fdwChecks = ignoreRevocation;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS verdict{};
    verdict.cbSize = sizeof verdict;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &verdict))
        throw refusedCertificate(systemErrorText(GetLastError()));
    const ChainVerdict chainVerdict = judgeChain(chain->TrustStatus.dwErrorStatus);
    if (chainVerdict == ChainVerdict::Revoked ||
        verdict.dwError == static_cast<DWORD>(CRYPT_E_REVOKED))
        throw Error("Certificat du serveur révoqué");
    if (verdict.dwError != 0)
        throw refusedCertificate(certificateProblem(verdict.dwError, host_));
    // Wine's policy lets a chain pass that ends at an authority the store does not hold.
    if (chainVerdict == ChainVerdict::NotTimeValid)
        throw refusedCertificate(certificateProblem(CERT_E_EXPIRED, host_));
    if (chainVerdict == ChainVerdict::Untrusted)
        throw refusedCertificate(certificateProblem(CERT_E_UNTRUSTEDROOT, host_));
}

void SchannelConnection::sendAll(std::string_view bytes, std::chrono::milliseconds limit) {
    const auto deadline = SteadyClock::now() + limit;
    while (!bytes.empty()) {
        const std::size_t length = std::min<std::size_t>(bytes.size(), sizes_.cbMaximumMessage);
        record_.resize(sizes_.cbHeader + length + sizes_.cbTrailer);
        std::memcpy(record_.data() + sizes_.cbHeader, bytes.data(), length);
        std::array<SecBuffer, 4> parts{{
            {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record_.data()},
            {static_cast<unsigned long>(length), SECBUFFER_DATA, record_.data() + sizes_.cbHeader},
            {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record_.data() + sizes_.cbHeader + length},
            {0, SECBUFFER_EMPTY, nullptr},
        }};
        SecBufferDesc list{SECBUFFER_VERSION, static_cast<unsigned long>(parts.size()),
                           parts.data()};
        const SECURITY_STATUS status = EncryptMessage(&context_, 0, &list, 0);
        if (status != SEC_E_OK)
            throw tlsFailure(statusText(status));
        transport_->sendAll(std::string_view(record_.data(), parts[0].cbBuffer + parts[1].cbBuffer +
                                                                 parts[2].cbBuffer),
                            until(deadline));
        bytes.remove_prefix(length);
    }
}

bool SchannelConnection::decryptRecord(SteadyClock::time_point deadline) {
    if (incoming_.empty())
        return false;
    std::array<SecBuffer, 4> parts{{
        {static_cast<unsigned long>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
    }};
    SecBufferDesc list{SECBUFFER_VERSION, static_cast<unsigned long>(parts.size()), parts.data()};
    // Wine hands the server's close_notify over as an empty record rather than as
    // SEC_I_CONTEXT_EXPIRED; after the handshake, an alert record that decrypts without error can
    // only be that one.
    const bool alert = static_cast<unsigned char>(incoming_.front()) == alertRecord;
    const SECURITY_STATUS status = DecryptMessage(&context_, &list, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return false;
    if (status == SEC_I_CONTEXT_EXPIRED) {
        peerDone_ = true;
        return true;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE)
        throw tlsFailure(statusText(status));
    // Both point into the received bytes, which are replaced last. A record without data (a
    // handshake message, an empty record) leaves nothing to hand out.
    std::string rest;
    plain_.clear();
    for (const SecBuffer& part : parts) {
        if (part.BufferType == SECBUFFER_DATA)
            plain_.assign(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
        else if (part.BufferType == SECBUFFER_EXTRA)
            rest.assign(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
    }
    plainStart_ = 0;
    incoming_ = std::move(rest);
    if (alert && status == SEC_E_OK)
        peerDone_ = true;
    // Handshake messages after the handshake (TLS 1.3 session tickets) go back to Schannel.
    if (status == SEC_I_RENEGOTIATE) {
        const SECURITY_STATUS handled = step(deadline);
        if (handled != SEC_E_OK)
            throw tlsFailure(statusText(handled));
    }
    return true;
}

std::size_t SchannelConnection::receive(char* buffer, std::size_t count,
                                        std::chrono::milliseconds limit) {
    const auto deadline = SteadyClock::now() + limit;
    while (plainStart_ == plain_.size()) {
        if (peerDone_)
            return 0;
        if (!decryptRecord(deadline) && !receiveMore(deadline))
            throw Error("réponse du serveur interrompue : connexion sécurisée fermée sans avis de "
                        "fin (close_notify)");
    }
    const std::size_t n = std::min(count, plain_.size() - plainStart_);
    std::memcpy(buffer, plain_.data() + plainStart_, n);
    plainStart_ += n;
    return n;
}

} // namespace

std::unique_ptr<TlsConnection> tlsOver(std::unique_ptr<Connection> transport,
                                       const std::string& host) {
    return std::make_unique<SchannelConnection>(std::move(transport), host);
}

} // namespace quorva
