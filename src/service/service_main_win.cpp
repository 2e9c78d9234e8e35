// The capture service's entry: runs as the service Quorva until asked to stop, and answers
// --prepare-data-folder with success. Enough for the setup programs to install, start, stop and
// remove it.

#include <windows.h>

#include "platform/unique_handle_win.h"

#include <cstring>

namespace {

constexpr wchar_t kServiceName[] = L"Quorva";

SERVICE_STATUS_HANDLE statusHandle = nullptr;
quorva::UniqueHandle stopEvent;

void reportState(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
    if (code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN) {
        reportState(SERVICE_STOP_PENDING);
        SetEvent(stopEvent.get());
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, control, nullptr);
    if (statusHandle == nullptr)
        return;
    reportState(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent.get(), INFINITE);
    reportState(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--prepare-data-folder") == 0)
        return 0;
    stopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kServiceName), serviceMain},
                                    {nullptr, nullptr}};
    const BOOL dispatched = StartServiceCtrlDispatcherW(table);
    return dispatched ? 0 : 1;
}
