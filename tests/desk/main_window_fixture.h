#pragma once

// The main window under Wine, created with its own settings folder and spool folder.

#include "desk/main_window.h"
#include "in_process_capture.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "support/fakes.h"
#include "support/message_pump.h"
#include "support/recording_message_boxes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

namespace quorva {

using testkit::ManualClock;
using testkit::MemoryRegistry;
using testkit::pumpFor;
using testkit::pumpUntil;
using testkit::RecordingMessageBoxes;
using testkit::RecordingShell;
using testkit::TempDir;

class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
        std::filesystem::create_directory(appData);
        std::filesystem::create_directory(spool);
    }

    void writeSettings(const std::string& lines) {
        std::filesystem::create_directory(appData + "\\Zentor");
        std::ofstream(settingsFile(), std::ios::binary) << "[Options]\r\n" << lines;
    }
    std::string settingsFile() const { return appData + "\\Zentor\\Quorva.ini"; }

    // The window alone, started: no capture serves its pipe unless startCapture ran.
    std::unique_ptr<MainWindow> open() {
        auto form = std::make_unique<MainWindow>(
            MainWindowServices{.messageBoxes = boxes,
                               .registry = *windowRegistry,
                               .clock = clock,
                               .locale = *windowLocale,
                               .shell = shell,
                               .paths = paths,
                               .endsProgram = false,
                               .pipeName = pipeName,
                               .hasAdministratorRights = [this] { return administrator; }});
        form->start();
        return form;
    }
    // Starts (again) the capture on the test's own spool folder, which stays empty unless the
    // test drops a file into it (nothing the system's spooler writes becomes a row), with these
    // settings lines ("NomURL=…\r\nNomSite=…\r\n") as the machine's.
    void startCapture(const std::string& settings = "") {
        capture.reset();
        const auto value = [&](Setting setting) {
            const std::string key = std::string(settingInfo(setting).key) + "=";
            const auto at = settings.find(key);
            if (at == std::string::npos)
                return std::string(settingInfo(setting).defaultValue);
            const auto end = settings.find("\r\n", at);
            return settings.substr(at + key.size(), end - at - key.size());
        };
        const std::string folder = settings.find("DossierSpouleur=") == std::string::npos
                                       ? spool
                                       : value(Setting::SpoolFolder);
        {
            const std::lock_guard lock(settingsMutex);
            captureSettings = {
                folder, value(Setting::Site), {value(Setting::Url), proxyHost, proxyPort}};
        }
        capture = std::make_unique<testkit::InProcessCapture>(
            CaptureHostServices{files, clock, locale, itLog, dataFolder, pipeName,
                                [this] {
                                    const std::lock_guard lock(settingsMutex);
                                    return HostSettings{captureSettings, "Démarrage"};
                                },
                                makeTransport});
    }
    // The machine's server address changed: the running capture takes it.
    void changeServerUrl(const std::string& url) {
        {
            const std::lock_guard lock(settingsMutex);
            captureSettings.sender.serverUrl = url;
        }
        capture->reloadSettings();
    }
    // The capture with these settings, then the window, once it shows the capture's jobs.
    std::unique_ptr<MainWindow> openOnSpool(const std::string& settings = "") {
        writeSettings(settings);
        startCapture(settings);
        auto form = open();
        EXPECT_TRUE(pumpUntil([&] { return form->connected(); }, 15000));
        return form;
    }

    // Moves the keyboard focus out of a setting's edit, as the user's Tab key or click would.
    static void leave(MainWindow& form, Setting edit, Setting next) {
        SetFocus(form.settingsTab().edit(edit).hwnd());
        SetFocus(form.settingsTab().edit(next).hwnd());
        pumpFor(20);
    }
    // A new value typed into a setting's edit, then the edit left.
    static void enter(MainWindow& form, Setting which, const std::string& text) {
        form.settingsTab().setText(which, text);
        form.settingsTab().onEdited(which);
    }

    TempDir temp;
    std::string appData = temp.file("appdata");
    // The desk's settings file and its own log.
    DeskPaths paths = DeskPaths::under(appData, temp.file("localappdata"));
    // The capture's job store, outbox and logs.
    std::string dataFolder = temp.file("machine");
    std::string spool = temp.file("spool");
    RecordingMessageBoxes boxes;
    MemoryRegistry registry;
    ManualClock clock{{2026, 12, 7, 14, 5, 9, 0}};
    FixedLocale locale;
    SystemFiles files;
    RecordingShell shell;
    // What the window reads the registry and the regional settings through: `registry` and
    // `locale`, unless a test's fixture points them at the system's.
    const Registry* windowRegistry = &registry;
    const Locale* windowLocale = &locale;
    // The sender's transport; nothing: the capture's own.
    std::function<std::unique_ptr<Transport>()> makeTransport;
    // The machine's proxy, as the capture takes it.
    std::string proxyHost;
    int proxyPort = 80;
    testkit::SilentItLog itLog;
    const std::wstring pipeName = testkit::InProcessCapture::uniquePipeName();
    // Whether the window's user has administrator rights (under Wine every process has them).
    bool administrator = true;
    // What the capture reads as the machine's settings, from its own thread.
    std::mutex settingsMutex;
    CaptureSettings captureSettings;
    std::unique_ptr<testkit::InProcessCapture> capture;
};

// A file's bytes; empty when it cannot be read.
inline std::string contentOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace quorva
