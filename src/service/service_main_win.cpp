// quorva-capture.exe: the capture as a Windows service (the default, started by the service
// manager), or in the foreground with --console until Ctrl+C, for development and tests. Both
// serve the same pipe and read the same machine settings. --prepare-data-folder makes the data
// folder the service's alone, for the installers.

#include "core/it_alerts.h"
#include "ipc/pipe_connection_win.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "service/capture_host_win.h"
#include "service/data_folder_win.h"
#include "service/machine_capture_settings_win.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace quorva {
namespace {

constexpr wchar_t kServiceName[] = L"Quorva";

// The service's errors have no one to show them to: they go to its daily log.
class LoggedErrors final : public MessageBoxes {
public:
    int show(HWND, const std::string&, const std::string&, UINT) override { return IDOK; }
};

// The machine's common application data (C:\ProgramData), as the installers name it. In the
// foreground the ProgramData variable may point elsewhere, for development and tests.
std::string programData(bool console) {
    if (console) {
        if (auto fromEnvironment = environmentVariable("ProgramData"))
            return *fromEnvironment;
    }
    char path[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return "C:\\ProgramData";
    return path;
}

// Runs the capture on this thread until `stopped` is signalled.
void runCapture(bool console, HANDLE stopped, const std::function<void()>& running) {
    SystemFiles files;
    SystemClock clock;
    SystemLocale locale;
    SystemRegistry registry;
    LoggedErrors errors;
    // One capture per machine: a second would send every invoice again. (The pipe's first
    // instance would also refuse it, but not every system enforces that.)
    const UniqueHandle single(CreateMutexW(nullptr, FALSE, L"Global\\Quorva.CaptureService"));
    if (!single || GetLastError() == ERROR_ALREADY_EXISTS)
        throw Error("Une capture Quorva tourne déjà sur ce poste");
    // Held open for the whole run, so that no level of it can be swapped for another.
    std::optional<DataFolder> folder;
    std::optional<std::string> refusal;
    try {
        folder.emplace(programData(console), [](const std::string&) {});
    } catch (const std::exception& e) {
        refusal = e.what();
        systemItEventLog().report(ItEvent::StoreUnavailable, *refusal);
    }
    CaptureHost host({files, clock, locale, systemItEventLog(),
                      folder ? folder->path() : dataFolderPath(programData(console)),
                      kCapturePipeName, [&registry] { return machineCaptureSettings(registry); }},
                     errors);
    host.start(refusal);
    MachineSettingsWatch settingsChanged;
    running();
    const HANDLE waits[] = {stopped, settingsChanged.event()};
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            return;
        if (woke == WAIT_OBJECT_0 + 1) {
            settingsChanged.rearm();
            host.reloadSettings();
        }
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// ---- The service

HANDLE serviceStopped = nullptr;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 0};

void report(DWORD state, DWORD exitCode = NO_ERROR) {
    status.dwCurrentState = state;
    status.dwWin32ExitCode = exitCode;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 10000;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI onControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        report(SERVICE_STOP_PENDING);
        SetEvent(serviceStopped);
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, onControl, nullptr);
    if (statusHandle == nullptr)
        return;
    report(SERVICE_START_PENDING);
    try {
        runCapture(false, serviceStopped, [] { report(SERVICE_RUNNING); });
        report(SERVICE_STOPPED);
    } catch (const std::exception& e) {
        systemItEventLog().report(ItEvent::StoreUnavailable, e.what());
        // A failed start is a failure: the service manager's recovery starts it again.
        report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
    }
}

// ---- In the foreground

HANDLE consoleStopped = nullptr;

BOOL WINAPI onConsoleControl(DWORD) {
    SetEvent(consoleStopped);
    return TRUE;
}

int runInConsole() {
    consoleStopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    try {
        runCapture(true, consoleStopped, [] {
            std::printf("Capture en cours (Ctrl+C pour finir).\n");
            std::fflush(stdout);
        });
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

} // namespace
} // namespace quorva

int main(int argc, char** argv) {
    using namespace quorva;
    const std::string option = argc > 1 ? argv[1] : "";
    if (option == "--console")
        return runInConsole();
    if (option == "--prepare-data-folder") {
        try {
            makeDataFolderTheServices(programData(false), [](const std::string& line) {
                std::printf("%s\n", line.c_str());
            });
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    serviceStopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"Quorva";
    const SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        std::fprintf(stderr,
                     "quorva-capture : service Windows « Quorva » ; --console pour capturer "
                     "au premier plan.\n");
        return 1;
    }
    return 0;
}
