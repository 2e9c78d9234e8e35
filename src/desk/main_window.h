#pragma once

// The main window: it composes the four tabs (job list, loyalty card, spool folder, settings)
// and shows what the capture service tells it over the pipe: the jobs, the event lines and the
// status. It captures nothing itself and needs no rights: the user's search, "Renvoyer la
// facture" and decisions go to the service as requests.
//
// Threads: the window's thread owns the controls, the settings and its copy of the service's
// jobs; the pipe client's thread only carries frames and posts kCaptureMessage.

#include "capture/job_list.h"
#include "core/daily_log.h"
#include "desk/capture_client_win.h"
#include "desk/card_tab.h"
#include "desk/jobs_tab.h"
#include "desk/settings_tab.h"
#include "desk/spool_tab.h"
#include "ipc/pipe_connection_win.h"
#include "ipc/protocol.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "settings/ini_settings_store.h"
#include "settings/machine_settings.h"
#include "settings/settings.h"
#include "ui/gdi.h"
#include "ui/layout.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/tab_control.h"
#include "ui/tray_icon.h"
#include "ui/window.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorva {

// What the main window reaches outside itself. The program passes the system's; tests their own.
struct MainWindowServices {
    MessageBoxes& messageBoxes;
    const Registry& registry;
    const Clock& clock;
    const Locale& locale;
    Shell& shell;
    // The value of APPDATA, from which the settings folder is made; nothing when it is not set.
    std::optional<std::string> appData;
    // Closing the window ends the program's message loop.
    bool endsProgram = true;
    // The capture service's pipe.
    std::wstring pipeName = kCapturePipeName;
    // Whether this desk may change the machine's settings and printers; nothing: whether its
    // token holds the Administrators group.
    std::function<bool()> hasAdministratorRights = {};
    // Opened by the shield button, elevated: on the settings tab.
    bool openOnSettings = false;
    // Where the desk's own daily log goes (the error boxes it showed); empty: none.
    std::string logFolder = {};
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
    // The jobs as the service last told them.
    const JobList& jobs() const { return jobs_; }
    // Whether the service's snapshot has arrived since the last connection.
    bool connected() const { return snapshotDone_; }
    const TrayIcon& trayIcon() const { return trayIcon_; }
    PopupMenu& trayMenu() { return trayMenu_; }
    int dpi() const { return dpi_; }

    // A setting as the desk uses it: the card printer from the user's settings file, the capture's
    // as the machine gives them.
    const std::string& setting(Setting which) const;
    const std::string& settingsFolder() const { return settingsFolder_; }
    const std::string& settingsFile() const { return settingsStore_.path(); }

    // Shows the job on the card tab.
    void showCard(JobId id);
    // A message of the capture service, as the pipe brings it.
    void onServiceMessage(const Message& message);

private:
    void startUp();
    // The machine's capture settings into their edits, writable only where this desk may change
    // them.
    void showMachineSettings();
    // A setting as its edit shows it.
    std::string shownSetting(Setting which) const;
    void onSettingEdited(Setting which);
    void onAnotherStart();
    void onTrayMessage(UINT mouseMessage);
    void search(const std::wstring& text);
    void printCard(JobId id);
    void openPdf(JobId id);

    // ---- The capture service's news
    void onCaptureEvents();
    void onJobUpdate(const JobUpdate& update);
    void onStatus(const StatusUpdate& status);
    // The service stopped or cannot be reached: said under the list and, once, in a balloon.
    void onServiceLost();
    // What keeps capture from working on the status line, with a balloon when it starts.
    void showCaptureStatus(const std::string& text);
    void sendToService(const Message& message);

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
    Shell& shell_;
    const bool endsProgram_;
    const std::string settingsFolder_;
    IniSettingsStore settingsStore_;
    Settings settings_;
    MachineCaptureSettings machine_;
    SystemFiles logFiles_;
    DailyLog log_;
    const bool administrator_;
    const bool openOnSettings_;

    // The service's jobs: each one's id in the service, and whether it may be sent again, by
    // this list's id; the service's ids are the positions of its own list.
    JobList jobs_;
    std::vector<JobId> serviceIds_;
    std::vector<bool> canSendAgain_;
    std::vector<JobId> byServiceId_;
    CaptureClient client_;
    bool snapshotDone_ = false;
    // The service speaks another protocol: this text says so until it is updated.
    std::string mismatch_;
    int lastSearch_ = 0;
    bool failingTold_ = false;
    int dpi_ = kDesignDpi;
    Font font_;
    TabControl tabs_;
    JobsTab jobsTab_;
    CardTab cardTab_;
    SpoolTab spoolTab_;
    SettingsTab settingsTab_;
    std::string captureStatus_;
    TrayIcon trayIcon_;
    PopupMenu trayMenu_;
    // The control that had the focus when the window was last deactivated.
    HWND lastFocus_ = nullptr;
};

} // namespace quorva
