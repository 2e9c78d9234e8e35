#include "net/tls.h"

#include "platform/error.h"

namespace quorva {

// The native build serves the tests and the tools, which speak plain HTTP.
std::unique_ptr<TlsConnection> tlsOver(std::unique_ptr<Connection>, const std::string&) {
    throw Error("Connexion sécurisée impossible : HTTPS n'existe que dans la version Windows");
}

} // namespace quorva
