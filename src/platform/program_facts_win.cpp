#include "platform/program_facts.h"

#include <windows.h>

#include <vector>

namespace quorva {

std::string programVersion() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return {};
    std::vector<char> info(size);
    char* version = nullptr;
    UINT length = 0;
    // The resource's one block: French, Windows-1252.
    if (!GetFileVersionInfoA(path, 0, size, info.data()) ||
        !VerQueryValueA(info.data(), "\\StringFileInfo\\040C04E4\\ProductVersion",
                        reinterpret_cast<void**>(&version), &length) ||
        length == 0)
        return {};
    return std::string(version, length - 1);
}

bool hasAdministratorRights() {
    BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    // A null token: the thread's impersonation token, or else the process's.
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           CheckTokenMembership(nullptr, administrators, &member) && member;
}

} // namespace quorva
