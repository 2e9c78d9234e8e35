#pragma once

#include "platform/error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorva {

enum class RegistryRoot { CurrentUser, LocalMachine, ClassesRoot };

enum class RegistryAccess {
    QueryValue, // KEY_QUERY_VALUE only
    Read,       // KEY_READ
    ReadWrite,  // KEY_ALL_ACCESS
};

enum class RegistryType { String, ExpandString, Dword, Other };

struct RegistryValue {
    RegistryType type = RegistryType::Other;
    std::string text;         // String and ExpandString: up to the first zero character
    std::uint32_t number = 0; // Dword
    bool empty = false;       // the value has no data
};

// An open registry key, closed when destroyed.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // Nothing when the value does not exist. An empty name is the key's default value.
    virtual std::optional<RegistryValue> read(const std::string& name) const = 0;
    // Writes a REG_DWORD; false when the system refuses.
    virtual bool writeDword(const std::string& name, std::uint32_t value) = 0;
    // Writes a REG_SZ; false when the system refuses.
    virtual bool writeString(const std::string& name, const std::string& value) = 0;
    // Removes the value; true when it is gone afterwards, also when there was none.
    virtual bool deleteValue(const std::string& name) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // The key at `path` (a leading backslash starts at the root), or nullptr when it cannot be
    // opened. With `create`, a missing key is created first.
    virtual std::unique_ptr<RegistryKey> open(RegistryRoot root, const std::string& path,
                                              RegistryAccess access, bool create) const = 0;
};

// The errors the user sees for a registry value, with the value's name.
Error registryWrongType(const std::string& valueName);   // "Type de données incorrect…"
Error registryWriteFailed(const std::string& valueName); // "Echec à la définition des données…"

#ifdef _WIN32
class SystemRegistry final : public Registry {
public:
    std::unique_ptr<RegistryKey> open(RegistryRoot root, const std::string& path,
                                      RegistryAccess access, bool create) const override;
};
#endif

} // namespace quorva
