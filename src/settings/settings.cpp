#include "settings/settings.h"

#include "platform/error.h"

namespace quorva {

const SettingInfo& settingInfo(Setting setting) {
    static const std::array<SettingInfo, 4> infos{{
        {"NomImprimante", ""},
        {"NomSite", "VERNO"},
        {"NomURL", "http://127.0.0.1:8080/KelbBin/Kelb.dll/"},
        {"DossierSpouleur", "c:\\windows\\system32\\spool\\printers"},
    }};
    return infos[static_cast<std::size_t>(setting)];
}

std::string settingsFolderFor(const std::optional<std::string>& appData) {
    return appData.value_or("") + "\\Zentor";
}

std::string settingsFileIn(const std::string& folder) {
    return folder + "\\Quorva.ini";
}

std::string Settings::read(Setting setting) const {
    const SettingInfo& info = settingInfo(setting);
    std::string text = store_.read(info.key, machine_[index(setting)].value_or(info.defaultValue));
    if (text.size() > kSettingMaxLength)
        text.resize(kSettingMaxLength);
    return text;
}

bool Settings::storeOnExit(Setting setting, const std::string& text,
                           const std::function<void()>& beforeWrite) {
    std::string& copy = values_[index(setting)];
    if (text == copy)
        return false;
    copy = text;
    if (beforeWrite)
        beforeWrite();
    if (!store_.write(settingInfo(setting).key, text))
        throw Error("Impossible d'écrire dans " + store_.path());
    return true;
}

} // namespace quorva
