#pragma once

// The main window: it composes the four tabs (job list, loyalty card, spool folder, settings),
// the connection to the capture service, the status line and the notification area's icon. It
// captures nothing itself and needs no rights: the user's search, "Renvoyer la facture" and
// decisions go to the service as requests.
//
// Threads: the window's thread owns the controls, the settings and the copy of the service's
// jobs; the pipe client's thread only carries frames and posts kCaptureMessage.

#include "core/daily_log.h"
#include "desk/card_tab.h"
#include "desk/desk_paths.h"
#include "desk/desk_settings_win.h"
#include "desk/desk_tray_win.h"
#include "desk/focus_memory.h"
#include "desk/jobs_tab.h"
#include "desk/service_connection_win.h"
#include "desk/settings_tab.h"
#include "desk/spool_tab.h"
#include "desk/status_line_win.h"
#include "ipc/pipe_connection_win.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "ui/gdi.h"
#include "ui/layout.h"
#include "ui/message_box.h"
#include "ui/tab_control.h"
#include "ui/window.h"

#include <functional>
#include <string>

namespace quorva {

// What the main window reaches outside itself. The program passes the system's; tests their own.
struct MainWindowServices {
    MessageBoxes& messageBoxes;
    const Registry& registry;
    const Clock& clock;
    const Locale& locale;
    Shell& shell;
    const DeskPaths& paths;
    // Closing the window ends the program's message loop.
    bool endsProgram = true;
    // The capture service's pipe.
    std::wstring pipeName = kCapturePipeName;
    // Whether this desk may change the machine's settings and printers; nothing: whether its
    // token holds the Administrators group.
    std::function<bool()> hasAdministratorRights = {};
    // Opened by the shield button, elevated: on the settings tab.
    bool openOnSettings = false;
};

// The size of the pages' client area, in design units (pixels at 96 DPI), that the window opens
// with when the screen has room: the card picture (1011 x 634 at 5, 5) fits on the card page at
// its natural size, and the job grid shows all its columns. The user may make it smaller, down
// to the minimum, or larger.
inline constexpr int kPageWidth = 1064;
inline constexpr int kPageHeight = 644;
inline constexpr int kMinPageWidth = 760;
inline constexpr int kMinPageHeight = 460;

class MainWindow final : public Window {
public:
    // Creates the window and its controls; start() then reads the settings and connects.
    explicit MainWindow(const MainWindowServices& services);
    ~MainWindow() override;

    // Reads the settings into their tab and starts connecting to the capture service.
    void start();
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
    // The jobs as the service last told them.
    const JobList& jobs() const { return service_.jobs(); }
    // Whether the service's snapshot has arrived since the last connection.
    bool connected() const { return service_.connected(); }
    const TrayIcon& trayIcon() const { return tray_.icon(); }
    PopupMenu& trayMenu() { return tray_.menu(); }
    int dpi() const { return dpi_; }

    // A setting as the desk uses it: the card printer from the user's settings file, the capture's
    // as the machine gives them.
    const std::string& setting(Setting which) const { return settings_.value(which); }
    const DeskPaths& paths() const { return paths_; }

    // Shows the job on the card tab.
    void showCard(JobId id);
    // A message of the capture service, as the pipe brings it.
    void onServiceMessage(const Message& message) { service_.receive(message); }

private:
    void onAnotherStart();
    void printCard(JobId id);
    void openPdf(JobId id);

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
    // The window's frame for pages of that size in design units, at the window's DPI.
    SIZE frameForPages(int width, int height) const;
    void placeInWorkArea();

    MessageBoxes& boxes_;
    const Registry& registry_;
    const Clock& clock_;
    const Locale& locale_;
    Shell& shell_;
    const DeskPaths paths_;
    const bool endsProgram_;
    const bool openOnSettings_;
    SystemFiles logFiles_;
    DailyLog log_;

    ServiceConnection service_;
    int dpi_ = kDesignDpi;
    Font font_;
    TabControl tabs_;
    JobsTab jobsTab_;
    CardTab cardTab_;
    SpoolTab spoolTab_;
    SettingsTab settingsTab_;
    DeskSettings settings_;
    DeskTray tray_;
    StatusLine statusLine_;
    FocusMemory focus_;
};

} // namespace quorva
