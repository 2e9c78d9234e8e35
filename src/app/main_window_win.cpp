#include "app/main_window.h"

#include "app/about.h"
#include "app/machine_settings.h"
#include "app/proxy.h"
#include "app/single_instance.h"
#include "app/start_line.h"
#include "app/window_messages.h"
#include "card/card_preview.h"
#include "card/invoice_pdf.h"
#include "platform/system_error.h"

#include <windows.h>

#include <algorithm>

namespace quorva {

namespace {

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
// Space around the tab control, in the window's client area.
constexpr int kMargin = 6;

std::string userDataFolder(const MainWindowServices& services, const std::string& settingsFolder) {
    return services.localAppData.value_or(settingsFolder) + "\\Zentor\\Quorva";
}

std::string dataFolderFor(const MainWindowServices& services, const std::string& settingsFolder) {
    return services.programData ? *services.programData + "\\Zentor\\Quorva"
                                : userDataFolder(services, settingsFolder);
}

// The file in the desk's folder that names the user whose session captures.
std::string capturerFile(const std::string& dataFolder) {
    return dataFolder + "\\capture.txt";
}

} // namespace

MainWindow::MainWindow(const MainWindowServices& services)
    : Window(services.messageBoxes), boxes_(services.messageBoxes), registry_(services.registry),
      clock_(services.clock), locale_(services.locale), files_(services.files),
      shell_(services.shell), endsProgram_(services.endsProgram),
      settingsFolder_(settingsFolderFor(services.appData)),
      dataFolder_(dataFolderFor(services, settingsFolder_)),
      settingsStore_(settingsFileIn(settingsFolder_)),
      settings_(settingsStore_, readMachineSettings(services.registry)),
      core_({files_, clock_, locale_, dataFolder_,
             services.programData ? userDataFolder(services, settingsFolder_) : std::string(),
             [this](std::int64_t key) {
                 PostMessageW(hwnd(), kJobChangedMessage, 0, static_cast<LPARAM>(key));
             },
             services.makeTransport},
            *this, {}),
      itAlerts_(systemItEventLog(), clock_), font_(messageFont()),
      jobsTab_(boxes_, core_.jobs(), locale_,
               {[this](JobId id) { openPdf(id); }, [this](JobId id) { printCard(id); },
                [this](JobId id) { core_.sendAgain(id); },
                [this](JobId id) { return core_.canSendAgain(id); },
                [this](JobId id) { showCard(id); },
                [this] { cardTab_.printButton().setEnabled(true); },
                [this] { return setting(Setting::CardPrinter); }}),
      cardTab_(boxes_), spoolTab_(boxes_), settingsTab_(boxes_, registry_, shell_),
      settlingTimer_(*this, 500), captureTimer_(*this, 2000) {
    core_.jobs().setListener(&jobsTab_.grid());
    boxes_.setErrorSink(
        [this](const std::string& text) { core_.dailyLog().write("Erreur affichée : " + text); });
    settingsTab_.onEdited = [this](Setting which) { onSettingEdited(which); };
    settlingTimer_.onTimer = [this] { onSettlingTick(); };
    captureTimer_.onTimer = [this] {
        if (!captureLock_.tryTake())
            return;
        captureTimer_.setEnabled(false);
        startCapture();
    };
    cardTab_.printButton().onClick = [this] { cardTab_.print(setting(Setting::CardPrinter)); };
    cardTab_.onPrinting = [this](bool printing) {
        tabs_.setActivePage(printing ? cardTab_.page() : jobsTab_.page());
    };
    create(kMainWindowClass, nullptr, kWindowStyle, 0,
           {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, L"Quorva");
}

MainWindow::~MainWindow() {
    boxes_.setErrorSink({});
    destroy();
    core_.jobs().setListener(nullptr);
}

void MainWindow::show(int showCommand) {
    ShowWindow(hwnd(), showCommand);
    // The frame is final only once the window is on screen.
    growToFitTabs();
    UpdateWindow(hwnd());
}

// ---- Creation and destruction

void MainWindow::OnCreate() {
    createControls();
    addAboutItem(hwnd());
    startUp();
}

void MainWindow::OnDestroy() {
    shutDown();
    if (endsProgram_)
        PostQuitMessage(0);
}

void MainWindow::startUp() {
    createSettingsFolder(settingsFolder_);
    // The settings into the edits, and the in-memory copies from the edits.
    for (const Setting which :
         {Setting::CardPrinter, Setting::Site, Setting::Url, Setting::SpoolFolder}) {
        settingsTab_.setText(which, settings_.read(which));
        settings_.setValue(which, settingsTab_.text(which));
    }
    spoolTab_.setFolder(setting(Setting::SpoolFolder));
    removeMaximizeBox();
    // The proxy before the core starts its sender, so that the first job sent after a restart
    // goes through it too; a proxy setting that cannot be read still lets the jobs be kept.
    std::optional<ProxySetting> proxy;
    std::exception_ptr proxyError;
    try {
        proxy = detectProxy(registry_);
    } catch (...) {
        proxyError = std::current_exception();
    }
    if (proxy) {
        proxyServer_ = proxy->host;
        proxyPort_ = proxy->port;
    }
    core_.applySettings(captureSettings());
    tabs_.setActivePage(jobsTab_.page());
    settingsTab_.fillPrinterList();
    if (captureLock_.tryTake())
        startCapture();
    else
        waitForCapture();
    if (proxyError)
        std::rethrow_exception(proxyError);
}

void MainWindow::startCapture() {
    createSharedFolder(dataFolder_);
    // The job store before the watcher, so that the history comes first; both before any
    // message box, so that nothing printed meanwhile waits on the user.
    const auto failure = core_.open(startLine(currentRunFacts(), settings_));
    startWatching();
    statusChanged("");
    try {
        files_.writeFile(capturerFile(dataFolder_), currentRunFacts().user);
    } catch (const std::exception& e) {
        core_.dailyLog().write("Session qui capture non notée : " + std::string(e.what()));
    }
    if (failure) {
        itAlerts_.storeUnavailable(*failure);
        showErrorBox(boxes_, hwnd(), *failure);
    }
}

void MainWindow::waitForCapture() {
    std::string user;
    try {
        user = files_.readShared(capturerFile(dataFolder_));
    } catch (const std::exception&) {
        // Its session has not said yet.
    }
    statusChanged("Capture assurée par la session de " +
                  (user.empty() ? "un autre utilisateur" : user));
    captureTimer_.setEnabled(true);
}

void MainWindow::shutDown() {
    core_.close();
    watcher_.stop();
}

// Windows ends the process once this returns, without WM_DESTROY: the sender's transfer is cut
// and its job left waiting for the next start.
void MainWindow::OnEndSession() {
    shutDown();
}

CaptureSettings MainWindow::captureSettings() const {
    return {setting(Setting::SpoolFolder),
            setting(Setting::Site),
            {setting(Setting::Url), proxyServer_, proxyPort_}};
}

void MainWindow::removeMaximizeBox() {
    const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    SetWindowLongPtrW(hwnd(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MAXIMIZEBOX));
}

// ---- The spool folder watcher and the settling poll

void MainWindow::startWatching() {
    spoolTab_.clearEvents();
    const WatchStartResult result =
        watcher_.start(spoolTab_.folder(), hwnd(), kChangeBufferMessage);
    if (result.started) {
        // Read after the first read is armed: a file written in between has a record coming.
        if (core_.watchingStarted(watcher_.folder()))
            settlingTimer_.setEnabled(true);
        return;
    }
    if (result.beep)
        MessageBeep(MB_OK);
    showMessage(boxes_, hwnd(), result.errorText);
}

void MainWindow::OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kJobChangedMessage:
        if (const auto state = core_.onJobChanged(static_cast<std::int64_t>(lParam)))
            itAlerts_.jobState(*state);
        return;
    case kAnotherStartMessage:
        onAnotherStart();
        return;
    case kChangeBufferMessage:
        break;
    default:
        return;
    }
    bool poll = false;
    switch (static_cast<WatchEvent>(lParam)) {
    case WatchEvent::Changes:
        poll = core_.onChanges(watcher_.buffer(), kChangeBufferSize,
                               static_cast<unsigned long>(wParam), watcher_.folder());
        break;
    case WatchEvent::FolderLost:
        itAlerts_.spoolFolderLost(
            core_.onFolderLost(systemErrorText(static_cast<unsigned long>(wParam))));
        break;
    case WatchEvent::FolderBack:
        poll = core_.onFolderBack(watcher_.folder());
        break;
    }
    if (poll)
        settlingTimer_.setEnabled(true);
}

void MainWindow::onSettlingTick() {
    // Off for the whole pass, so that a pass never starts inside another.
    settlingTimer_.setEnabled(false);
    jobsTab_.beat();
    core_.pollPass([this] { settlingTimer_.setEnabled(true); });
}

bool MainWindow::OnSysCommand(UINT command) {
    if (command != kAboutCommand)
        return false;
    showAbout(boxes_, hwnd());
    return true;
}

void MainWindow::onAnotherStart() {
    if (IsIconic(hwnd()))
        ShowWindow(hwnd(), SW_RESTORE);
    SetForegroundWindow(hwnd());
}

void MainWindow::eventAdded(const std::string& line) {
    spoolTab_.addEvent(line);
}

void MainWindow::eventsCleared() {
    spoolTab_.clearEvents();
}

void MainWindow::statusChanged(const std::string& text) {
    jobsTab_.setStatus(text);
}

// ---- The settings edits

void MainWindow::onSettingEdited(Setting which) {
    const std::string text = settingsTab_.text(which);
    // In effect before it is written, also when the write fails. The watcher goes on with the
    // folder it opened; the poll and extraction use the new one.
    settings_.storeOnExit(which, text, [&] {
        if (which == Setting::SpoolFolder)
            spoolTab_.setFolder(text);
        core_.applySettings(captureSettings());
    });
}

// ---- The card and the invoice

void MainWindow::showCard(JobId id) {
    cardTab_.show(cardLabelsFor(core_.jobs().at(id), locale_, clock_));
}

void MainWindow::printCard(JobId id) {
    showCard(id);
    cardTab_.print(setting(Setting::CardPrinter));
}

void MainWindow::openPdf(JobId id) {
    openInvoicePdf(setting(Setting::Url), core_.jobs().at(id).reportId, registry_, shell_);
}

// ---- Layout

void MainWindow::createControls() {
    setFont(font_.get());
    tabs_.create(*this, {kMargin, kMargin, kPageWidth, kPageHeight});
    tabs_.addPage(jobsTab_.page(), L"Suivi des Impressions");
    tabs_.addPage(cardTab_.page(), L"Carte de Fidélité");
    tabs_.addPage(spoolTab_.page(), L"Spouleur");
    tabs_.addPage(settingsTab_.page(), L"Paramètres");
    fitWindowToTabs();
    jobsTab_.create(kPageWidth, kPageHeight);
    cardTab_.create();
    spoolTab_.create(kPageWidth, kPageHeight);
    settingsTab_.create(kPageWidth);
}

void MainWindow::fitWindowToTabs() {
    const Bounds tabs = tabs_.boundsForDisplaySize(kPageWidth, kPageHeight);
    tabs_.setBounds(tabs);
    tabs_.layoutPages();
    RECT frame{0, 0, tabs.width + 2 * kMargin, tabs.height + 2 * kMargin};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = std::max<int>(work.left, work.left + (work.right - work.left - width) / 2);
    const int y = std::max<int>(work.top, work.top + (work.bottom - work.top - height) / 2);
    SetWindowPos(hwnd(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    growToFitTabs();
}

// The frame the window really gets may differ from the one its style computes (none without a
// window manager, another inside a virtual desktop, a wider one with some themes): the window
// grows by what its client area lacks.
void MainWindow::growToFitTabs() {
    const Bounds tabs = tabs_.bounds();
    RECT client{};
    GetClientRect(hwnd(), &client);
    const LONG missingWidth = std::max<LONG>(0, tabs.x + tabs.width + kMargin - client.right);
    const LONG missingHeight = std::max<LONG>(0, tabs.y + tabs.height + kMargin - client.bottom);
    if (missingWidth == 0 && missingHeight == 0)
        return;
    RECT window{};
    GetWindowRect(hwnd(), &window);
    SetWindowPos(hwnd(), nullptr, 0, 0, window.right - window.left + missingWidth,
                 window.bottom - window.top + missingHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

} // namespace quorva
