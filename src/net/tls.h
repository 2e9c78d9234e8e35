#pragma once

// TLS with the system's own implementation (Schannel on Windows): no TLS library ships with the
// program. The server's certificate is checked by the program itself against the system's
// trusted authorities, for the host name of the address: chain, validity dates and name. Some
// TLS layers (Wine's) check nothing, and on Windows the program's own check makes every refusal
// read the same.

#include "net/connection.h"

#include <chrono>
#include <memory>
#include <string>

namespace quorva {

class TlsConnection : public Connection {
public:
    // Negotiates TLS 1.2 or later and checks the server's certificate; nothing else is sent
    // before both are done. Throws Error "Certificat du serveur refusé : <reason>",
    // "Certificat du serveur révoqué" or "Connexion sécurisée impossible : <reason>", or
    // SocketError when the transport fails.
    virtual void handshake(std::chrono::milliseconds limit) = 0;
    // receive() returns 0 only after the server's close_notify; a connection closed without it
    // throws Error "réponse du serveur interrompue : ...", as its answer may be cut.
};

// TLS to `host` over `transport`, not negotiated yet. Throws Error where the build has no TLS.
std::unique_ptr<TlsConnection> tlsOver(std::unique_ptr<Connection> transport,
                                       const std::string& host);

} // namespace quorva
