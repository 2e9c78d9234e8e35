#include "platform/files.h"

namespace quorva {

std::string openErrorText(const std::string& path, const std::string& reason) {
    return "Impossible d'ouvrir le fichier \"" + path + "\". " + reason;
}

std::optional<std::string> ownFileRefusal(const std::string& path, bool plain,
                                          std::uint64_t names) {
    if (!plain)
        return path + " est un lien (jonction, lien symbolique) ou un fichier spécial : refusé";
    if (names > 1)
        return path + " porte aussi d'autres noms (liens physiques) : refusé";
    return std::nullopt;
}

} // namespace quorva
