#include "support/fakes.h"

namespace quorva::testkit {

namespace {

class MemoryKey final : public RegistryKey {
public:
    explicit MemoryKey(MemoryRegistry::Key& key) : key_(key) {}
    std::optional<RegistryValue> read(const std::string& name) const override {
        auto it = key_.values.find(name);
        if (it == key_.values.end())
            return std::nullopt;
        return it->second;
    }
    bool writeDword(const std::string& name, std::uint32_t value) override {
        RegistryValue v;
        v.type = RegistryType::Dword;
        v.number = value;
        return store(name, v);
    }
    bool writeString(const std::string& name, const std::string& value) override {
        RegistryValue v;
        v.type = RegistryType::String;
        v.text = value;
        return store(name, v);
    }
    bool deleteValue(const std::string& name) override {
        if (key_.refuseWrites)
            return false;
        key_.values.erase(name);
        return true;
    }

private:
    bool store(const std::string& name, const RegistryValue& value) {
        if (key_.refuseWrites)
            return false;
        key_.values[name] = value;
        return true;
    }

    MemoryRegistry::Key& key_;
};

} // namespace

std::string MemoryRegistry::id(RegistryRoot root, const std::string& path) {
    const std::string relative = !path.empty() && path.front() == '\\' ? path.substr(1) : path;
    return std::to_string(static_cast<int>(root)) + "|" + relative;
}

std::unique_ptr<RegistryKey> MemoryRegistry::open(RegistryRoot root, const std::string& path,
                                                  RegistryAccess, bool create) const {
    ++openCount;
    auto it = keys_.find(id(root, path));
    if (it == keys_.end()) {
        if (!create)
            return nullptr;
        it = keys_.emplace(id(root, path), Key{}).first;
    }
    return std::make_unique<MemoryKey>(it->second);
}

MemoryRegistry::Key& MemoryRegistry::key(RegistryRoot root, const std::string& path) {
    return keys_[id(root, path)];
}

bool MemoryRegistry::hasKey(RegistryRoot root, const std::string& path) const {
    return keys_.count(id(root, path)) != 0;
}

} // namespace quorva::testkit
