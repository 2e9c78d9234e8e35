#include "settings/ini_settings_store.h"

#include <windows.h>

namespace quorva {

std::string IniSettingsStore::read(const std::string& key, const std::string& defaultValue) const {
    char buffer[kSettingMaxLength + 1] = {};
    const DWORD length = GetPrivateProfileStringA(
        kSettingsSection, key.c_str(), defaultValue.c_str(), buffer, sizeof buffer, path_.c_str());
    return std::string(buffer, length);
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
