#include "service/data_folder.h"

#include <algorithm>

namespace quorva {

namespace {

std::string refusal(const std::string& path, const std::string& why) {
    return "Le dossier " + path + " " + why + " : la capture ne s'en sert pas";
}

} // namespace

std::string reparsePointRefusal(const std::string& path) {
    return refusal(path, "est un point d'analyse (jonction ou lien)");
}

std::optional<std::string> refusalOf(const std::string& path, const FolderSecurity& security) {
    if (security.reparsePoint)
        return reparsePointRefusal(path);
    if (security.owner == Trustee::Other)
        return refusal(
            path, "appartient à un autre compte que SYSTEM, Administrateurs ou TrustedInstaller");
    const bool othersWrite =
        std::any_of(security.entries.begin(), security.entries.end(), [](const AccessEntry& e) {
            return e.allow && e.who == Trustee::Other && (e.mask & rights::kAnyWrite) != 0;
        });
    if (othersWrite)
        return refusal(path, "est modifiable par d'autres comptes que SYSTEM et Administrateurs");
    return std::nullopt;
}

std::string dataFolderPath(const std::string& programData) {
    return programData + "\\Zentor\\Quorva";
}

} // namespace quorva
