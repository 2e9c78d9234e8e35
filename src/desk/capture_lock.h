#pragma once

// One capture per desk. The spool folder is the machine's, so with several sessions open (fast
// user switching, a remote session, the logon task starting Quorva for every user) each would
// send every invoice. The instance that holds a machine-wide named mutex captures and sends; the
// others show who does, and one of them takes over when that session ends. What has been
// captured lives in a folder of the machine that every user of the desk can write.

#include "platform/unique_handle_win.h"

#include <string>

namespace quorva {

class CaptureLock {
public:
    explicit CaptureLock(std::wstring name = L"Global\\Quorva.Capture") : name_(std::move(name)) {}
    ~CaptureLock();
    CaptureLock(const CaptureLock&) = delete;
    CaptureLock& operator=(const CaptureLock&) = delete;

    // Takes the lock when no other instance holds it (or its holder has ended); true while this
    // one holds it. Called again from time to time by an instance that waits.
    bool tryTake();

private:
    std::wstring name_;
    UniqueHandle mutex_;
    bool held_ = false;
};

// The folder, created when missing, made writable by every user of the desk (the Users group,
// inherited by what is created in it); nothing more when the rights cannot be changed.
void createSharedFolder(const std::string& path);

} // namespace quorva
