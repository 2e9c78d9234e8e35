#pragma once

// The settings file in memory, counting the accesses.

#include "settings/settings.h"

#include <map>
#include <string>

namespace quorva::testkit {

class MemorySettingsStore final : public SettingsStore {
public:
    explicit MemorySettingsStore(std::string path = "C:\\Users\\desk\\AppData\\Zentor\\Quorva.ini")
        : path_(std::move(path)) {}

    std::string read(const std::string& key, const std::string& defaultValue) const override {
        ++reads;
        const auto it = values.find(key);
        return it == values.end() ? defaultValue : it->second;
    }
    bool write(const std::string& key, const std::string& value) override {
        ++writes;
        if (refuseWrites)
            return false;
        values[key] = value;
        return true;
    }
    const std::string& path() const override { return path_; }

    std::map<std::string, std::string> values;
    bool refuseWrites = false;
    mutable int reads = 0;
    int writes = 0;

private:
    std::string path_;
};

} // namespace quorva::testkit
