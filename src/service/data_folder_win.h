#pragma once

// Windows only: the data folder opened, checked and, for an upgrade, made the service's, always
// by handle. No right is ever changed by path.

#include "platform/unique_handle_win.h"
#include "service/data_folder.h"

#include <functional>
#include <string>
#include <vector>

namespace quorva {

using FolderLog = std::function<void(const std::string&)>;

// The data folder, open and checked. Each of the service's levels stays open without sharing
// deletion, so that none can be renamed, removed or replaced by a link while the service uses it.
class DataFolder {
public:
    // Walks `programData` from the drive's root, then the service's own levels (Zentor, the data
    // folder, its outbox and logs folders), creating the missing ones for SYSTEM and
    // Administrators alone (each creation logged). No level may be a reparse point, and the
    // service's own must pass refusalOf. Throws Error with the refusal or the failure.
    DataFolder(const std::string& programData, const FolderLog& log);

    const std::string& path() const { return path_; }
    HANDLE handle() const { return levels_.at(kDataLevel).get(); }

private:
    static constexpr size_t kDataLevel = 1; // after Zentor
    std::string path_;
    std::vector<UniqueHandle> levels_;
};

// The security of the folder or file open as `handle` (with READ_CONTROL and
// FILE_READ_ATTRIBUTES); `path` names it in the Error thrown when it cannot be read.
FolderSecurity readFolderSecurity(HANDLE handle, const std::string& path);

// For an upgrade from the release whose data folder every user could write: the levels are
// walked and created as DataFolder does, and none may be a reparse point; then each of the
// service's levels and everything the data folder holds gets Administrators as owner and SYSTEM
// and Administrators alone in its access list. A reparse point inside is left as it is, and
// logged. Throws Error when a level is refused or a right cannot be set.
void makeDataFolderTheServices(const std::string& programData, const FolderLog& log);

} // namespace quorva
