#include "desk/desk_paths.h"

#include "platform/env.h"
#include "settings/settings.h"

namespace quorva {

namespace {

std::string logFolderUnder(const std::string& localAppData) {
    return localAppData + "\\Zentor\\Quorva\\logs";
}

} // namespace

DeskPaths DeskPaths::under(const std::string& appData, const std::string& localAppData) {
    const std::string settingsFolder = settingsFolderFor(appData);
    return {settingsFolder, settingsFileIn(settingsFolder), logFolderUnder(localAppData)};
}

DeskPaths DeskPaths::fromEnvironment() {
    const std::string settingsFolder = settingsFolderFor(environmentVariable("APPDATA"));
    const auto localAppData = environmentVariable("LOCALAPPDATA");
    return {settingsFolder, settingsFileIn(settingsFolder),
            localAppData ? logFolderUnder(*localAppData) : std::string()};
}

} // namespace quorva
