#pragma once

// The main window, MainWindow: four tabs (job list, loyalty card, spool folder, settings), start-up
// (startUp) and shutdown (shutDown), the watcher's hand-over, and the four settings edits.
// The controls and the program's state are public members under the names the rest of the
// program uses; their handlers are wired in the constructor.

#include "app/daily_log.h"
#include "app/ini_settings_store.h"
#include "app/it_alerts.h"
#include "app/settings.h"
#include "app/single_instance.h"
#include "capture/change_processor.h"
#include "capture/job_table.h"
#include "capture/settling_poll.h"
#include "capture/spool_watcher.h"
#include "card/card_print.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "store/job_store.h"
#include "store/outbox.h"
#include "ui/controls.h"
#include "ui/gdi.h"
#include "ui/image_area.h"
#include "ui/job_grid.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/tab_control.h"
#include "ui/timer.h"
#include "ui/window.h"
#include "upload/http_client.h"
#include "upload/report_upload.h"
#include "upload/sender.h"

#include <map>
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
    // The value of LOCALAPPDATA, under which the job store, the outbox and the logs live.
    std::optional<std::string> localAppData;
    // Closing the window ends the program's message loop.
    bool endsProgram = true;
};

// The message by which the watcher's worker hands a filled change buffer, or news of the folder,
// to the main thread (wParam and lParam: see WatchEvent).
inline constexpr UINT kChangeBufferMessage = WM_APP + 1;
// The message by which the sender tells the window that a job's state changed (lParam: its key
// in the job store).
inline constexpr UINT kJobChangedMessage = WM_APP + 3;

// The size of the pages' client area: the card picture (1011 x 634 at 5, 5) fits on the card
// page, and the job grid shows all its columns.
inline constexpr int kPageWidth = 1064;
inline constexpr int kPageHeight = 644;

class MainWindow final : public Window {
public:
    // Creates the window (running startUp); show() then shows it.
    explicit MainWindow(const MainWindowServices& services);
    ~MainWindow() override;

    void show(int showCommand);

    // ---- Handlers
    void startUp();
    void shutDown();
    // Starts watching the folder in spoolFolderLabel; reports its own failure.
    void startWatching();
    // The worker's hand-over: processes the change buffer, starts the poll when a change counted.
    void onChangeBuffer(unsigned long transferred);
    // The watched folder could not be read any more (`error`: the system's code), or is back.
    void onFolderLost(unsigned long error);
    void onFolderBack();
    // Another start of the program asked for this window: it comes to the front.
    void onAnotherStart();
    void onCardPrinterEdited();
    void onServerUrlEdited();
    void onSiteNameEdited();
    void onSpoolFolderEdited();

    // ---- Settings: the in-memory copies
    const std::string& cardPrinterName() const { return settings_.value(Setting::CardPrinter); }
    const std::string& serverUrl() const { return settings_.value(Setting::Url); }
    const std::string& siteName() const { return settings_.value(Setting::Site); }
    const std::string& spoolFolder() const { return settings_.value(Setting::SpoolFolder); }
    const std::string& settingsFolder() const { return settingsFolder_; }
    const std::string& settingsFile() const { return settingsStore_.path(); }

    // ---- The outside world
    MessageBoxes& boxes;
    const Registry& registry;
    const Clock& clock;
    const Locale& locale;
    const Files& files;
    Shell& shell;

    // ---- State
    JobTable jobTable;
    SpoolWatcher watcher;
    int hoverRow = -1;

    // ---- Controls
    TabControl tabControl;
    Page jobsPage;     // "Suivi des Impressions": the job list
    Page cardPage;     // "Carte de Fidélité": the card preview
    Page spoolPage;    // the spool folder and its events
    Page settingsPage; // the settings and the printers

    JobGrid jobGrid;
    Label statusLabel; // what keeps the capture from working, empty while it works
    Label heartbeatLabel;

    Label spoolFolderLabel;
    ListBox eventList;

    Edit cardPrinterEdit;
    Edit serverUrlEdit;
    Edit siteNameEdit;
    Edit spoolFolderEdit;
    ListBox printerList;
    Label attributesLabel;
    Button keepJobsButton;
    Button stopKeepingJobsButton;
    Button restartSpoolerButton;
    Button chooseCardPrinterButton;

    ImageArea cardPicture;
    Label cardCustomerLabel;
    Label cardChassisLabel;
    Label cardRegistrationLabel;
    Label cardValidityLabel;

    PopupMenu jobPopup;
    PopupItem openPdfItem;
    PopupItem printCardItem;

    Timer settlingTimer;

    // ---- Capture: the settling poll, extraction and upload
    // One pass of the settling poll; runs every 500 ms while some row needs it.
    void onSettlingTick();
    // Extracts the row's invoice, copies its spool file into the outbox and records the job for
    // the sender; returns the report identifier the row has so far (none: it comes later).
    std::string extractAndRecord(int row);

    // Used by the sender thread only, once it runs; its proxy comes from the user's Internet
    // settings at start-up.
    HttpClient httpClient;
    ReportUpload reportUpload;
    SettlingPoll settlingPoll;

    // ---- Outbox: the job store, the spool file copies, the sender and the daily log
    // Opens the store under LOCALAPPDATA (in memory when it cannot be opened), forgets what is
    // older than 90 days, records copies a crash left unrecorded, shows the last 7 days and
    // starts the sender.
    void openJobStore();
    void closeJobStore();
    // The sender's message: the job's report identifier and state go into its row.
    void onJobChanged(std::int64_t key);
    // Sends the hover row's refused or failed job again now.
    void onResendItem();
    const std::string& dataFolder() const { return dataFolder_; }

    DailyLog dailyLog;
    ItAlerts itAlerts{systemItEventLog(), clock};
    std::unique_ptr<JobStore> jobStore;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<Sender> sender;
    PopupItem resendItem;

    // ---- Card: hover tracking, card preview, card printing, invoice PDF
    // The hover tracking: the row under the pointer is highlighted and sets the popup items.
    void onGridMouseMove(int x, int y);
    void onGridCellClick(int column, int row);
    void onGridSorted();
    void onGridDeselectCell(int column, int row);
    // Fills the four card labels from a job-table row.
    void fillCardLabels(int row);
    // The card of the hover row, printed.
    void onPrintCardItem();
    // Prints the card tab's card on the card printer; does nothing without a card printer.
    void printCard();
    // Opens the hover row's invoice PDF in the browser.
    void onOpenPdfItem();

    Button printCardButton; // "Impression de la carte": invisible, so only the popup item prints
    CardPrinter cardPrinter;
    Font cardLabelFont;

    // ---- Printers: the printer list and the keep-printed-jobs attribute
    // Every display and change reads the selected printer's registry value again.
    void onPrinterSelected();
    void drawPrinterItem(ListBoxItemPaint& paint);
    void onPrinterDoubleClick();
    void onKeepJobs();
    void onStopKeepingJobs();
    void onRestartSpooler();
    void onChooseCardPrinter();

private:
    // Each subsystem's handlers are wired to their controls before the window is created.
    void wireCaptureHandlers();
    void wireCardHandlers();
    // The card tab's picture, label font and colours, and printCardButton, once the window exists.
    void finishCardPage();
    void wirePrinterHandlers();

    // The spool tab's event list as the change processing's log.
    // ... and in the daily log.
    class EventListLog final : public EventLog {
    public:
        EventListLog(ListBox& list, DailyLog& log) : list_(list), log_(log) {}
        void insertTop(const std::string& line) override {
            list_.insert(0, line);
            log_.write(line);
        }
        void clear() override { list_.clear(); }

    private:
        ListBox& list_;
        DailyLog& log_;
    };
    // Writes the job into its row (report identifier, state), and what became of it in the log.
    void showJob(int row, const StoredJob& job);
    void recordJob(int row, const std::string& path, bool invoice);
    void recoverOrphanCopies();
    void showHistory();

    void OnCreate() override;
    void OnDestroy() override;
    void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnSysCommand(UINT command) override;

    void createControls();
    void createJobListPage();
    void createCardPage();
    void createSpoolPage();
    void createSettingsPage();
    void fitWindowToTabs();
    void growToFitTabs();
    void removeMaximizeBox();
    void fillPrinterList();

    bool endsProgram_;
    std::string settingsFolder_;
    std::string dataFolder_;
    // Jobs sent again in their complete version, with the job each replaces.
    std::map<std::int64_t, std::int64_t> replacedJobs_;
    IniSettingsStore settingsStore_;
    Settings settings_;
    EventListLog eventLog_;
    ChangeProcessor changes_;
    Font font_;
    // Captions of the settings and spool tabs' fields.
    Label spoolCaption_;
    Label eventsCaption_;
    Label printersCaption_;
    Label cardPrinterCaption_;
    Label urlCaption_;
    Label siteCaption_;
    Label spoolFolderCaption_;
};

} // namespace quorva
