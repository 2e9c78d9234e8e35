#pragma once

// The first line of each run in the daily log, for whoever supports the desk: which version runs,
// for whom, elevated or not, and each setting with where its value came from.

#include "settings/settings.h"

#include <string>

namespace quorva {

struct RunFacts {
    std::string version;
    std::string user;
    bool elevated = false;
};

// "Démarrage de Quorva <version> : utilisateur <user>, élevé oui|non ; NomImprimante=\"…\"
// (utilisateur|poste|défaut) ; …", from the in-memory copies.
std::string startLine(const RunFacts& facts, const Settings& settings);

#ifdef _WIN32
// The running program's version, the user's name and whether the program runs elevated.
RunFacts currentRunFacts();
#endif

} // namespace quorva
