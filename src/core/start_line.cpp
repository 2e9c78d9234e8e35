#include "core/start_line.h"

#include "net/url.h"

namespace quorva {

namespace {

const char* originText(SettingOrigin origin) {
    switch (origin) {
    case SettingOrigin::Policy:
        return "stratégie";
    case SettingOrigin::Machine:
        return "poste";
    case SettingOrigin::Default:
        break;
    }
    return "défaut";
}

const char* sourceText(ProxySource source) {
    switch (source) {
    case ProxySource::Policy:
        return originText(SettingOrigin::Policy);
    case ProxySource::Machine:
        return originText(SettingOrigin::Machine);
    case ProxySource::WinHttp:
        return "WinHTTP";
    case ProxySource::None:
        break;
    }
    return "";
}

std::string runHeader(const RunFacts& facts) {
    return "Démarrage de Quorva " + facts.version + " : utilisateur " + facts.user + ", élevé " +
           (facts.elevated ? "oui" : "non");
}

std::string settingText(Setting setting, const std::string& value, SettingOrigin origin) {
    return std::string(" ; ") + settingInfo(setting).key + "=\"" +
           (setting == Setting::Url ? withoutCredentials(value) : value) + "\" (" +
           originText(origin) + ")";
}

} // namespace

std::string serviceStartLine(const RunFacts& facts, const MachineCaptureSettings& settings,
                             const ProxyChoice& proxy) {
    std::string line = runHeader(facts);
    for (const auto& [setting, value] :
         {std::pair{Setting::Site, &settings.site}, std::pair{Setting::Url, &settings.url},
          std::pair{Setting::SpoolFolder, &settings.spoolFolder}})
        line += settingText(setting, value->text, value->origin);
    line += " ; Proxy=";
    if (proxy.proxy)
        line += "\"" + proxy.proxy->host + ":" + std::to_string(proxy.proxy->port) + "\" (" +
                sourceText(proxy.source) + ")";
    else if (proxy.source == ProxySource::None)
        line += "aucun";
    else
        line += std::string("aucun (") + sourceText(proxy.source) + ")";
    return line;
}

} // namespace quorva
