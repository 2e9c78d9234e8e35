#pragma once

// The first line of each run of the capture in the daily log, for whoever supports the desk:
// which version runs, as whom, elevated or not, and each capture setting with where its value
// came from. The address never
// shows a user name or password written into it.

#include "settings/service_proxy.h"
#include "settings/settings.h"

#include <string>

namespace quorva {

struct RunFacts {
    std::string version;
    std::string user;
    bool elevated = false;
};

// "Démarrage de Quorva <version> : utilisateur <user>, élevé oui|non ; NomSite=\"…\"
// (stratégie|poste|défaut) ; NomURL=… ; DossierSpouleur=… ; Proxy=\"host:port\"
// (stratégie|poste|WinHTTP)", or
// "Proxy=aucun" when nothing names one, "Proxy=aucun (stratégie|poste)" when the machine's value
// has no entry for the address's scheme.
std::string serviceStartLine(const RunFacts& facts, const MachineCaptureSettings& settings,
                             const ProxyChoice& proxy);

#ifdef _WIN32
// The running program's version, the user's name and whether the program runs elevated.
RunFacts currentRunFacts();
#endif

} // namespace quorva
