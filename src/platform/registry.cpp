#include "platform/registry.h"

namespace quorva {

Error registryWrongType(const std::string& valueName) {
    return Error("Type de données incorrect pour '" + valueName + "'");
}

Error registryWriteFailed(const std::string& valueName) {
    return Error("Echec à la définition des données pour '" + valueName + "'");
}

} // namespace quorva
