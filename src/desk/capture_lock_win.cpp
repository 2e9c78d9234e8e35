#include "desk/capture_lock.h"

#include <windows.h>

#include <aclapi.h>

#include <vector>

namespace quorva {

CaptureLock::~CaptureLock() {
    if (held_)
        ReleaseMutex(mutex_.get());
}

bool CaptureLock::tryTake() {
    if (held_)
        return true;
    if (!mutex_) {
        // Another user's mutex may refuse this one even a look: it is held, then.
        mutex_.reset(CreateMutexW(nullptr, FALSE, name_.c_str()));
        if (!mutex_)
            return false;
    }
    // Abandoned: its holder ended without letting go, which hands it over all the same.
    const DWORD waited = WaitForSingleObject(mutex_.get(), 0);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return held_;
}

void createSharedFolder(const std::string& path) {
    for (size_t at = path.find('\\', path.rfind(':') == 1 ? 3 : 2);; at = path.find('\\', at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
        if (at == std::string::npos)
            break;
    }
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid, &sidSize))
        return;
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    if (GetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &current, nullptr, &descriptor) != ERROR_SUCCESS)
        return;
    EXPLICIT_ACCESSA access{};
    access.grfAccessPermissions =
        FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = reinterpret_cast<LPSTR>(sid);
    PACL shared = nullptr;
    if (SetEntriesInAclA(1, &access, current, &shared) == ERROR_SUCCESS) {
        SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, shared, nullptr);
        LocalFree(shared);
    }
    LocalFree(descriptor);
}

} // namespace quorva
