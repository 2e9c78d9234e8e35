#pragma once

// The main window: it composes the four tabs (job list, loyalty card, spool folder, settings)
// and the capture core, and carries news between them. Start-up (startUp) reads the settings
// and opens the core before the watcher starts; shutdown (shutDown) mirrors it.
//
// Threads: the window's thread owns the controls, the settings, the watcher's results and the
// core; the watcher's thread only fills change buffers and hands them over by SendMessage; the
// sender's thread owns the network and posts kJobChangedMessage back.

#include "capture/spool_watcher.h"
#include "core/capture_core.h"
#include "core/it_alerts.h"
#include "desk/capture_lock.h"
#include "desk/card_tab.h"
#include "desk/jobs_tab.h"
#include "core/server_status.h"
#include "desk/settings_tab.h"
#include "desk/spool_tab.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "settings/ini_settings_store.h"
#include "settings/settings.h"
#include "ui/gdi.h"
#include "ui/layout.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/tab_control.h"
#include "ui/timer.h"
#include "ui/tray_icon.h"
#include "ui/window.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorva {

// What the main window reaches outside itself. The program passes the system's; tests their own.
struct MainWindowServices {
    MessageBoxes& messageBoxes;
    const Registry& registry;
    const Clock& clock;
    const Locale& locale;
    const Files& files;
    Shell& shell;
    // The value of APPDATA, from which the settings folder is made; nothing when it is not set.
    std::optional<std::string> appData;
    // The value of LOCALAPPDATA, under which an earlier version kept the job store, the outbox
    // and the logs of each user.
    std::optional<std::string> localAppData;
    // Closing the window ends the program's message loop.
    bool endsProgram = true;
    // The sender's transport; nothing: HTTP to the report server.
    std::function<std::unique_ptr<Transport>()> makeTransport = {};
    // The value of ProgramData, under which the desk's job store, outbox and logs live; nothing:
    // under LOCALAPPDATA (as the tests run).
    std::optional<std::string> programData = {};
};

// The size of the pages' client area, in design units (pixels at 96 DPI), that the window opens
// with when the screen has room: the card picture (1011 x 634 at 5, 5) fits on the card page at
// its natural size, and the job grid shows all its columns. The user may make it smaller, down
// to the minimum, or larger.
inline constexpr int kPageWidth = 1064;
inline constexpr int kPageHeight = 644;
inline constexpr int kMinPageWidth = 760;
inline constexpr int kMinPageHeight = 460;

class MainWindow final : public Window, private CaptureObserver {
public:
    // Creates the window (running startUp); show() then shows it.
    explicit MainWindow(const MainWindowServices& services);
    ~MainWindow() override;

    // Shows the window where the user left it, when that screen still exists.
    void show(int showCommand);
    // Keys the window handles before the dialog keys do (Ctrl+Tab, Ctrl+Shift+Tab): true when
    // handled.
    bool translateKey(const MSG& message);

    TabControl& tabs() { return tabs_; }
    JobsTab& jobsTab() { return jobsTab_; }
    CardTab& cardTab() { return cardTab_; }
    SpoolTab& spoolTab() { return spoolTab_; }
    SettingsTab& settingsTab() { return settingsTab_; }
    CaptureCore& core() { return core_; }
    SpoolWatcher& watcher() { return watcher_; }
    const Timer& settlingTimer() const { return settlingTimer_; }
    const TrayIcon& trayIcon() const { return trayIcon_; }
    PopupMenu& trayMenu() { return trayMenu_; }
    int dpi() const { return dpi_; }

    // The in-memory copy of a setting: the last value read from or written to the settings file.
    const std::string& setting(Setting which) const { return settings_.value(which); }
    const std::string& settingsFolder() const { return settingsFolder_; }
    const std::string& settingsFile() const { return settingsStore_.path(); }
    const std::string& dataFolder() const { return dataFolder_; }

    // Shows the job on the card tab.
    void showCard(JobId id);

private:
    void startUp();
    void shutDown();
    // This instance captures for the desk: the job store and the watcher start.
    void startCapture();
    // Another session captures: says whose, and looks again every 2 s.
    void waitForCapture();
    // Starts watching the spool tab's folder; reports its own failure.
    void startWatching();
    void onSettingEdited(Setting which);
    void onSettlingTick();
    void onAnotherStart();
    void onTrayMessage(UINT mouseMessage);
    void search(const std::wstring& text);
    // The server's state on the status line and the invoices waiting in the tray's tooltip.
    void showServerStatus();
    void onReminderTick();
    void printCard(JobId id);
    void openPdf(JobId id);
    // The settings as capture works with them now.
    CaptureSettings captureSettings() const;

    // CaptureObserver
    void eventAdded(const std::string& line) override;
    void eventsCleared() override;
    void statusChanged(const std::string& text) override;

    void OnCreate() override;
    void OnDestroy() override;
    void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnEndSession() override;
    bool OnSysCommand(UINT command) override;
    void OnSize(UINT kind, int width, int height) override;
    void OnGetMinMaxInfo(MINMAXINFO& limits) override;
    void OnDpiChanged(int dpi, const RECT& suggested) override;
    void OnSettingChange() override;
    bool OnActivate(bool active) override;

    void createControls();
    Layout layout() const;
    void layoutPages();
    // The message font at the window's DPI, for the window and every control.
    void applyFont();
    // The window's rectangle for pages of that size in design units, at the window's DPI.
    RECT windowRectForPages(int width, int height) const;
    void placeInWorkArea();
    void restorePlacement(int& showCommand);
    void savePlacement();

    MessageBoxes& boxes_;
    const Registry& registry_;
    const Clock& clock_;
    const Locale& locale_;
    const Files& files_;
    Shell& shell_;
    const bool endsProgram_;
    const std::string settingsFolder_;
    const std::string dataFolder_;
    IniSettingsStore settingsStore_;
    Settings settings_;
    // The proxy of the user's Internet settings, read at start-up.
    std::string proxyServer_;
    int proxyPort_ = 80;

    CaptureCore core_;
    CaptureLock captureLock_;
    ItAlerts itAlerts_;
    SpoolWatcher watcher_;
    int dpi_ = kDesignDpi;
    Font font_;
    TabControl tabs_;
    JobsTab jobsTab_;
    CardTab cardTab_;
    SpoolTab spoolTab_;
    SettingsTab settingsTab_;
    Timer settlingTimer_;
    Timer captureTimer_;
    // Once a minute: whether uploads have been failing long enough to tell the user.
    Timer reminderTimer_;
    ServerStatus serverStatus_;
    std::string captureStatus_;
    TrayIcon trayIcon_;
    PopupMenu trayMenu_;
    // The control that had the focus when the window was last deactivated.
    HWND lastFocus_ = nullptr;
};

} // namespace quorva
