#pragma once

// The settings file through the system's private-profile functions (Windows only).

#include "settings/settings.h"

#include <string>

namespace quorva {

class IniSettingsStore final : public SettingsStore {
public:
    explicit IniSettingsStore(std::string path) : path_(std::move(path)) {}

    std::string read(const std::string& key, const std::string& defaultValue) const override;
    bool write(const std::string& key, const std::string& value) override;
    const std::string& path() const override { return path_; }

private:
    std::string path_;
};

// Creates the settings folder when nothing exists at that path: one level only, and a failure is
// not reported (every key then reads as its default, and writing reports the error).
void createSettingsFolder(const std::string& folder);

} // namespace quorva
