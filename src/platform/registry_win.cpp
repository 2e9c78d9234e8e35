#include "platform/registry.h"

#include <windows.h>

namespace quorva {

namespace {

class WinRegistryKey final : public RegistryKey {
public:
    explicit WinRegistryKey(HKEY key) : key_(key) {}
    ~WinRegistryKey() override { RegCloseKey(key_); }
    WinRegistryKey(const WinRegistryKey&) = delete;
    WinRegistryKey& operator=(const WinRegistryKey&) = delete;

    std::optional<RegistryValue> read(const std::string& name) const override {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::string data(size, '\0');
        if (size > 0 &&
            RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
            return std::nullopt;
        data.resize(size);
        RegistryValue value;
        value.empty = size == 0;
        switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            value.type = type == REG_SZ ? RegistryType::String : RegistryType::ExpandString;
            value.text = data.substr(0, data.find('\0'));
            break;
        case REG_DWORD:
            value.type = RegistryType::Dword;
            if (data.size() >= sizeof(DWORD))
                memcpy(&value.number, data.data(), sizeof(DWORD));
            break;
        default:
            value.type = RegistryType::Other;
            break;
        }
        return value;
    }

    bool writeDword(const std::string& name, std::uint32_t value) override {
        const DWORD data = value;
        return RegSetValueExA(key_, name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
    }

    bool writeString(const std::string& name, const std::string& value) override {
        return RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    }

    bool deleteValue(const std::string& name) override {
        const LONG rc = RegDeleteValueA(key_, name.c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }

private:
    HKEY key_;
};

HKEY rootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    }
    return HKEY_CURRENT_USER;
}

REGSAM samFor(RegistryAccess access) {
    switch (access) {
    case RegistryAccess::QueryValue:
        return KEY_QUERY_VALUE;
    case RegistryAccess::Read:
        return KEY_READ;
    case RegistryAccess::ReadWrite:
        return KEY_ALL_ACCESS;
    }
    return KEY_READ;
}

} // namespace

std::unique_ptr<RegistryKey> SystemRegistry::open(RegistryRoot root, const std::string& path,
                                                  RegistryAccess access, bool create) const {
    const std::string relative = !path.empty() && path.front() == '\\' ? path.substr(1) : path;
    HKEY key = nullptr;
    LONG rc = 0;
    if (create)
        rc = RegCreateKeyExA(rootKey(root), relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             samFor(access), nullptr, &key, nullptr);
    else
        rc = RegOpenKeyExA(rootKey(root), relative.c_str(), 0, samFor(access), &key);
    if (rc != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<WinRegistryKey>(key);
}

} // namespace quorva
