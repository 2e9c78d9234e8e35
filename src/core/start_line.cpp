#include "core/start_line.h"

namespace quorva {

namespace {

const char* originText(SettingOrigin origin) {
    switch (origin) {
    case SettingOrigin::User:
        return "utilisateur";
    case SettingOrigin::Machine:
        return "poste";
    case SettingOrigin::Default:
        break;
    }
    return "défaut";
}

} // namespace

std::string startLine(const RunFacts& facts, const Settings& settings) {
    std::string line = "Démarrage de Quorva " + facts.version + " : utilisateur " + facts.user +
                       ", élevé " + (facts.elevated ? "oui" : "non");
    for (const Setting setting : kAllSettings)
        line += std::string(" ; ") + settingInfo(setting).key + "=\"" + settings.value(setting) +
                "\" (" + originText(settings.origin(setting)) + ")";
    return line;
}

} // namespace quorva
