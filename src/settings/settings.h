#pragma once

// The four settings: their keys in the settings file, their defaults, the in-memory copies the
// program uses, and the rule by which leaving an edit stores one. A value an administrator gave
// for the whole machine (at install time, or by group policy) takes the place of the built-in
// default; the user's own value still wins.

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace quorva {

enum class Setting { CardPrinter, Site, Url, SpoolFolder };
inline constexpr std::array kAllSettings{Setting::CardPrinter, Setting::Site, Setting::Url,
                                         Setting::SpoolFolder};

// Where a capture setting's value comes from: the group policy, the machine's values, or the
// built-in default.
enum class SettingOrigin { Policy, Machine, Default };

// The machine's values, indexed like Setting; nothing where the machine gives none.
using MachineSettings = std::array<std::optional<std::string>, 4>;

struct SettingInfo {
    const char* key;          // in section Options
    const char* defaultValue; // when the key is absent
};

const SettingInfo& settingInfo(Setting setting);

inline constexpr char kSettingsSection[] = "Options";
// A value is read with room for this many characters; a longer one is cut.
inline constexpr std::size_t kSettingMaxLength = 2047;

// The settings file: section Options of an INI file, opened for each read or write.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The key's value, or `defaultValue` when the key is absent (present but empty: empty).
    virtual std::string read(const std::string& key, const std::string& defaultValue) const = 0;
    // False when the file cannot be written.
    virtual bool write(const std::string& key, const std::string& value) = 0;
    virtual const std::string& path() const = 0;
};

// APPDATA + "\Zentor"; "\Zentor" (at the root of the current drive) when APPDATA is not set.
std::string settingsFolderFor(const std::optional<std::string>& appData);
// The settings file in that folder.
std::string settingsFileIn(const std::string& folder);

class Settings {
public:
    explicit Settings(SettingsStore& store, MachineSettings machine = {})
        : store_(store), machine_(std::move(machine)) {}

    // The value in the settings file, else the machine's, else the default; cut to
    // kSettingMaxLength characters.
    std::string read(Setting setting) const;

    // The in-memory copy: the last value read from or written to the settings file.
    const std::string& value(Setting setting) const { return values_[index(setting)]; }
    void setValue(Setting setting, std::string text) { values_[index(setting)] = std::move(text); }

    // Leaving an edit whose text is `text`: nothing happens when it equals the copy
    // (case-sensitive). Otherwise the copy takes the text, `beforeWrite` runs, and the text is
    // written to the settings file; a failed write throws Error "Impossible d'écrire dans <path>"
    // and leaves the copy updated. Returns true when the text was a change.
    bool storeOnExit(Setting setting, const std::string& text,
                     const std::function<void()>& beforeWrite = {});

private:
    static std::size_t index(Setting setting) { return static_cast<std::size_t>(setting); }

    SettingsStore& store_;
    MachineSettings machine_;
    std::array<std::string, 4> values_;
};

} // namespace quorva
