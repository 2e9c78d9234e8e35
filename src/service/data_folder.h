#pragma once

// The capture service's data folder (ProgramData\Zentor\Quorva: the job store, the outbox of
// spool-file copies, the daily logs) is the service's alone: whoever can write in it can feed the
// service, which runs as LocalSystem, files of their choosing, or swap a folder for a link to one
// of the system's. Before using it, the service reads each of its levels' security by handle and
// decides here whether it is sound.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorva {

// Who an owner or an access entry names. System also covers the account capture itself runs as
// (LocalSystem for the service; under Wine, where every file's owner is the session's account, that
// account). Other is any other account or group: Users, Everyone, Authenticated Users, CREATOR
// OWNER, a user.
enum class Trustee { System, Administrators, TrustedInstaller, Other };

struct AccessEntry {
    Trustee who = Trustee::Other;
    bool allow = true; // false: an entry that denies
    std::uint32_t mask = 0;
    bool inheritOnly = false; // applies to what is created in the folder, not to the folder
};

// A folder's security as read by handle. A folder without any access list (which grants everyone
// everything) is read as one entry allowing Other everything. Whether the list is protected from
// inheritance does not matter: the inherited entries are read as entries like the others.
struct FolderSecurity {
    bool reparsePoint = false; // a junction or a link, whose target may be anywhere
    Trustee owner = Trustee::Other;
    std::vector<AccessEntry> entries;
};

// Access rights, as Windows numbers them.
namespace rights {
inline constexpr std::uint32_t kAddFile = 0x2;      // FILE_WRITE_DATA
inline constexpr std::uint32_t kAddSubfolder = 0x4; // FILE_APPEND_DATA
inline constexpr std::uint32_t kWriteEa = 0x10;     // extended attributes
inline constexpr std::uint32_t kDeleteChild = 0x40; // FILE_DELETE_CHILD
inline constexpr std::uint32_t kWriteAttributes = 0x100;
inline constexpr std::uint32_t kDelete = 0x10000;
inline constexpr std::uint32_t kWriteDac = 0x40000;
inline constexpr std::uint32_t kWriteOwner = 0x80000;
inline constexpr std::uint32_t kMaximumAllowed = 0x2000000;
inline constexpr std::uint32_t kGenericAll = 0x10000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kReadAndExecute = 0x1200A9; // FILE_GENERIC_READ | FILE_EXECUTE
inline constexpr std::uint32_t kFullControl = 0x1F01FF;    // FILE_ALL_ACCESS

// Any of these lets its holder change the folder, what it holds or who may do so.
inline constexpr std::uint32_t kAnyWrite = kAddFile | kAddSubfolder | kWriteEa | kDeleteChild |
                                           kWriteAttributes | kDelete | kWriteDac | kWriteOwner |
                                           kMaximumAllowed | kGenericAll | kGenericWrite;
} // namespace rights

// Why capture must not use the folder at `path` (the text names it), or nothing when it is sound:
// a reparse point, an owner other than SYSTEM, Administrators or TrustedInstaller, or an entry
// allowing Other any write right. Inherit-only entries count too: what the service creates in
// the folder would be writable by Other.
std::optional<std::string> refusalOf(const std::string& path, const FolderSecurity& security);

// The refusal of a reparse point, the one check that also applies to the levels above the
// service's own (the drive's root, ProgramData).
std::string reparsePointRefusal(const std::string& path);

// The data folder under the machine's ProgramData folder.
std::string dataFolderPath(const std::string& programData);

} // namespace quorva
