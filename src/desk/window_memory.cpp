#include "desk/window_memory.h"

#include <string>

namespace quorva {

namespace {

constexpr int kMaxColumns = 16;

std::string columnValue(size_t index) {
    return "Colonne" + std::to_string(index + 1);
}

std::optional<int> readNumber(const RegistryKey& key, const std::string& name) {
    const auto value = key.read(name);
    if (!value || value->type != RegistryType::Dword)
        return std::nullopt;
    // Coordinates left of or above the main screen are negative.
    return static_cast<int>(static_cast<std::int32_t>(value->number));
}

} // namespace

std::optional<RememberedWindow> readRememberedWindow(const Registry& registry) {
    const auto key =
        registry.open(RegistryRoot::CurrentUser, kWindowMemoryKey, RegistryAccess::Read, false);
    if (!key)
        return std::nullopt;
    const auto left = readNumber(*key, "FenetreGauche");
    const auto top = readNumber(*key, "FenetreHaut");
    const auto right = readNumber(*key, "FenetreDroite");
    const auto bottom = readNumber(*key, "FenetreBas");
    const auto maximized = readNumber(*key, "FenetreAgrandie");
    if (!left || !top || !right || !bottom || !maximized || *right <= *left || *bottom <= *top)
        return std::nullopt;
    RememberedWindow window{*left, *top, *right, *bottom, *maximized != 0, {}};
    for (size_t column = 0; column < kMaxColumns; ++column) {
        const auto width = readNumber(*key, columnValue(column));
        if (!width)
            break;
        window.columnWidths.push_back(*width);
    }
    return window;
}

bool rememberWindow(const Registry& registry, const RememberedWindow& window) {
    const auto key =
        registry.open(RegistryRoot::CurrentUser, kWindowMemoryKey, RegistryAccess::ReadWrite, true);
    if (!key)
        return false;
    const auto write = [&](const std::string& name, int value) {
        return key->writeDword(name, static_cast<std::uint32_t>(value));
    };
    bool written = write("FenetreGauche", window.left) && write("FenetreHaut", window.top) &&
                   write("FenetreDroite", window.right) && write("FenetreBas", window.bottom) &&
                   write("FenetreAgrandie", window.maximized ? 1 : 0);
    for (size_t column = 0; column < window.columnWidths.size() && column < kMaxColumns; ++column)
        written = write(columnValue(column), window.columnWidths[column]) && written;
    return written;
}

} // namespace quorva
