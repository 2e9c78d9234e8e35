#include "settings/ini_settings_store.h"

#include <windows.h>

namespace quorva {

std::string IniSettingsStore::read(const std::string& key, const std::string& defaultValue) const {
    char buffer[kSettingMaxLength + 1] = {};
    const DWORD length = GetPrivateProfileStringA(
        kSettingsSection, key.c_str(), defaultValue.c_str(), buffer, sizeof buffer, path_.c_str());
    return std::string(buffer, length);
}

bool IniSettingsStore::contains(const std::string& key) const {
    // The section's key names, each ended by a zero; keys compare without case, as the system's.
    std::string names(32 * 1024, '\0');
    const DWORD length = GetPrivateProfileStringA(kSettingsSection, nullptr, "", names.data(),
                                                  static_cast<DWORD>(names.size()), path_.c_str());
    for (std::size_t start = 0; start < length;) {
        const std::size_t end = names.find('\0', start);
        if (lstrcmpiA(names.substr(start, end - start).c_str(), key.c_str()) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

bool IniSettingsStore::write(const std::string& key, const std::string& value) {
    return WritePrivateProfileStringA(kSettingsSection, key.c_str(), value.c_str(),
                                      path_.c_str()) != FALSE;
}

void createSettingsFolder(const std::string& folder) {
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryA(folder.c_str(), nullptr);
}

} // namespace quorva
