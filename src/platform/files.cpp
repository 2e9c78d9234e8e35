#include "platform/files.h"

namespace quorva {

std::string openErrorText(const std::string& path, const std::string& reason) {
    return "Impossible d'ouvrir le fichier \"" + path + "\". " + reason;
}

} // namespace quorva
