#include "service/data_folder_win.h"

#include "core/capture_core.h"

#include "platform/error.h"
#include "platform/files_win.h"
#include "platform/system_error.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

namespace quorva {

namespace {

using LocalMemory = BasicUniqueHandle<LocalFree, HLOCAL>;
using SearchHandle = BasicUniqueHandle<FindClose>;

constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1847996016-1500366297";

// The levels a path goes through from its drive's root: "C:\", "C:\ProgramData", ...
std::vector<std::string> levelsOf(const std::string& path) {
    std::vector<std::string> levels;
    for (size_t at = path.find('\\');; at = path.find('\\', at + 1)) {
        std::string level = path.substr(0, at);
        if (!level.empty() && level.back() == ':')
            level += '\\';
        if (!level.empty())
            levels.push_back(level);
        if (at == std::string::npos)
            return levels;
    }
}

// The data folder's own levels, the data folder itself second.
std::vector<std::string> ownLevels(const std::string& programData) {
    const std::string data = dataFolderPath(programData);
    return {programData + "\\Zentor", data, data + "\\outbox", data + "\\logs"};
}

std::vector<BYTE> copySid(PSID sid) {
    const auto* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

// The accounts the decision knows by name, and the owner this process's own files get: its
// account's default owner (Administrators for SYSTEM), or, where the file system keeps no
// owners and reports one account for every file, that account.
class KnownTrustees {
public:
    // `folder`: where a file of this process may be made for a moment, to learn its owner.
    explicit KnownTrustees(const std::string& folder)
        : system_(wellKnown(WinLocalSystemSid)),
          administrators_(wellKnown(WinBuiltinAdministratorsSid)),
          trustedInstaller_(fromText(kTrustedInstaller)), self_(newFileOwner(folder)) {}

    Trustee of(PSID sid) const {
        if (equal(sid, system_) || equal(sid, self_))
            return Trustee::System;
        if (equal(sid, administrators_))
            return Trustee::Administrators;
        if (equal(sid, trustedInstaller_))
            return Trustee::TrustedInstaller;
        return Trustee::Other;
    }

private:
    static bool equal(PSID sid, const std::vector<BYTE>& known) {
        return sid != nullptr && EqualSid(sid, const_cast<BYTE*>(known.data()));
    }
    static Error failure() { return Error(systemErrorText(GetLastError())); }
    static std::vector<BYTE> wellKnown(WELL_KNOWN_SID_TYPE type) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        if (!CreateWellKnownSid(type, nullptr, sid, &size))
            throw failure();
        return copySid(sid);
    }
    static std::vector<BYTE> fromText(const char* text) {
        PSID sid = nullptr;
        if (!ConvertStringSidToSidA(text, &sid))
            throw failure();
        const LocalMemory owned(sid);
        return copySid(sid);
    }
    static std::vector<BYTE> newFileOwner(const std::string& folder) {
        const std::string probe =
            folder + "\\quorva-proprietaire-" + std::to_string(GetCurrentProcessId()) + ".tmp";
        const UniqueHandle file(
            CreateFileA(probe.c_str(), READ_CONTROL | DELETE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!file || GetSecurityInfo(file.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                     nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            return processUser();
        const LocalMemory owned(descriptor);
        return copySid(owner);
    }
    static std::vector<BYTE> processUser() {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
            throw failure();
        const UniqueHandle token(raw);
        DWORD size = 0;
        GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size);
        if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size))
            throw failure();
        return copySid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    }

    std::vector<BYTE> system_, administrators_, trustedInstaller_, self_;
};

// Owner Administrators; SYSTEM and Administrators in full control, inherited by everything
// created below; nothing inherited from above.
class ServiceOnly {
public:
    ServiceOnly() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor,
                nullptr))
            throw Error(systemErrorText(GetLastError()));
        descriptor_.reset(descriptor);
    }

    // Creates the folder with these rights; an existing folder is left as it is.
    void createFolder(const std::string& path, const FolderLog& log) const {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor_.get(), FALSE};
        if (CreateDirectoryA(path.c_str(), &attributes)) {
            log("Dossier créé pour le service : " + path);
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            throw Error("Impossible de créer le dossier " + path + " : " + systemErrorText(error));
    }

    // Every child gets the same explicit list rather than an empty one left to inherit: by
    // handle, the system does not look up the parent to compute what a child inherits, and a
    // child left with an empty list would be closed to the service itself. The rights are the
    // same, and what the service creates later inherits them from its folder.
    void setOn(HANDLE handle, const std::string& path) const {
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        GetSecurityDescriptorOwner(descriptor_.get(), &owner, &defaulted);
        GetSecurityDescriptorDacl(descriptor_.get(), &present, &dacl, &defaulted);
        const DWORD set = SetSecurityInfo(handle, SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                              PROTECTED_DACL_SECURITY_INFORMATION,
                                          owner, nullptr, dacl, nullptr);
        if (set != ERROR_SUCCESS)
            throw Error("Impossible de réserver " + path + " au service : " + systemErrorText(set));
    }

private:
    LocalMemory descriptor_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD attributesOf(HANDLE handle, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        throw Error("Impossible de lire les attributs de " + path + " : " +
                    systemErrorText(GetLastError()));
    return info.dwFileAttributes;
}

bool isReparsePoint(HANDLE handle, const std::string& path) {
    return (attributesOf(handle, path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The levels above the service's own are the system's: only a link among them is refused.
void checkSystemLevels(const std::string& programData) {
    for (const std::string& level : levelsOf(programData)) {
        if (isReparsePoint(openAsItself(level, FILE_READ_ATTRIBUTES, kShareAll).get(), level))
            throw Error(reparsePointRefusal(level));
    }
}

AccessEntry entryOf(const void* ace, const KnownTrustees& trustees) {
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    AccessEntry entry;
    std::memcpy(&entry.mask, static_cast<const char*>(ace) + sizeof(ACE_HEADER), sizeof entry.mask);
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    // These four share one layout: header, mask, then the SID.
    const auto sid = [&] {
        return trustees.of(
            const_cast<DWORD*>(&static_cast<const ACCESS_ALLOWED_ACE*>(ace)->SidStart));
    };
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        entry.who = sid();
        break;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        entry.allow = false;
        entry.who = sid();
        break;
    default:
        // Object entries and the like have no business on a folder: counted as allowing Other.
        break;
    }
    return entry;
}

// Returns whether anything in it was writable by others before.
bool resetContents(const std::string& folder, const ServiceOnly& serviceOnly,
                   const FolderLog& log) {
    bool othersCouldWrite = false;
    WIN32_FIND_DATAA found{};
    const SearchHandle search(FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr, 0));
    if (!search)
        throw Error("Impossible de lister le dossier " + folder + " : " +
                    systemErrorText(GetLastError()));
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string child = folder + "\\" + name;
        const UniqueHandle handle = openAsItself(
            child, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES, kShareAll);
        const DWORD attributes = attributesOf(handle.get(), child);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            log(child + " est un point d'analyse (jonction ou lien) : laissé tel quel");
            continue;
        }
        othersCouldWrite = othersCouldWrite ||
                           refusalOf(child, readFolderSecurity(handle.get(), child)).has_value();
        serviceOnly.setOn(handle.get(), child);
        // Listed by path after its rights are set: from then on, only an administrator could
        // rename it or put something else in its place.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            othersCouldWrite = resetContents(child, serviceOnly, log) || othersCouldWrite;
    } while (FindNextFileA(search.get(), &found));
    return othersCouldWrite;
}

// Setting Administrators as the owner of what a user owns, and rights on what grants
// Administrators nothing, takes these privileges: LocalSystem and elevated administrators hold
// them, disabled until asked for. One that is not held makes the setting fail, which says why.
void enableOwnershipPrivileges() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        return;
    const UniqueHandle token(raw);
    for (const char* name :
         {"SeRestorePrivilege", "SeTakeOwnershipPrivilege", "SeBackupPrivilege"}) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
}

} // namespace

FolderSecurity readFolderSecurity(HANDLE handle, const std::string& path) {
    const auto unreadable = [&path](DWORD error) {
        return Error("Impossible de lire les droits de " + path + " : " + systemErrorText(error));
    };
    FolderSecurity security;
    security.reparsePoint = isReparsePoint(handle, path);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = GetSecurityInfo(handle, SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       &owner, nullptr, &dacl, nullptr, &descriptor);
    if (read != ERROR_SUCCESS)
        throw unreadable(read);
    const LocalMemory owned(descriptor);
    const KnownTrustees trustees(path.substr(0, path.find_last_of('\\')));
    security.owner = trustees.of(owner);
    if (dacl == nullptr) {
        security.entries.push_back({Trustee::Other, true, rights::kGenericAll, false});
        return security;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            throw unreadable(GetLastError());
        security.entries.push_back(entryOf(ace, trustees));
    }
    return security;
}

DataFolder::DataFolder(const std::string& programData, const FolderLog& log)
    : path_(dataFolderPath(programData)) {
    checkSystemLevels(programData);
    const ServiceOnly serviceOnly;
    for (const std::string& level : ownLevels(programData)) {
        serviceOnly.createFolder(level, log);
        UniqueHandle handle = openAsItself(level, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (const auto refusal = refusalOf(level, readFolderSecurity(handle.get(), level)))
            throw Error(*refusal);
        levels_.push_back(std::move(handle));
    }
}

void makeDataFolderTheServices(const std::string& programData, const FolderLog& log) {
    checkSystemLevels(programData);
    enableOwnershipPrivileges();
    const ServiceOnly serviceOnly;
    bool othersCouldWrite = false;
    for (const std::string& level : ownLevels(programData)) {
        serviceOnly.createFolder(level, log);
        const UniqueHandle handle = openAsItself(
            level, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES, kShareAll);
        const FolderSecurity found = readFolderSecurity(handle.get(), level);
        if (found.reparsePoint)
            throw Error(reparsePointRefusal(level));
        othersCouldWrite = othersCouldWrite || refusalOf(level, found).has_value();
        serviceOnly.setOn(handle.get(), level);
        log("Dossier réservé au service : " + level);
    }
    const std::string data = dataFolderPath(programData);
    if (!resetContents(data, serviceOnly, log) && !othersCouldWrite)
        return;
    // What others could write may have been planted, proofs included: the service trusts none of
    // it. Written once the folder is the service's, so that no one else can remove it.
    const std::string marker = data + "\\" + kUnverifiedMarker;
    if (!UniqueHandle(CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)))
        throw Error("Impossible de créer " + marker + " : " + systemErrorText(GetLastError()));
    log("Contenu trouvé modifiable par d'autres comptes : à vérifier par le service");
}

} // namespace quorva
