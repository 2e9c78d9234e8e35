#include "desk/main_window.h"

#include "card/card_preview.h"
#include "card/invoice_pdf.h"
#include "core/start_line.h"
#include "desk/about.h"
#include "desk/single_instance.h"
#include "desk/window_memory.h"
#include "desk/window_messages.h"
#include "platform/system_error.h"
#include "settings/machine_settings.h"
#include "settings/proxy.h"

#include <windows.h>

#include <algorithm>

namespace quorva {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// Space around the tab control, in the window's client area, in design units.
constexpr int kMargin = 6;
constexpr unsigned kReminderIntervalMs = 60 * 1000;

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
      itAlerts_(systemItEventLog(), clock_),
      jobsTab_(boxes_, core_.jobs(), locale_,
               {[this](JobId id) { openPdf(id); }, [this](JobId id) { printCard(id); },
                [this](JobId id) { core_.sendAgain(id); },
                [this](JobId id) { return core_.canSendAgain(id); },
                [this](JobId id) { showCard(id); },
                [this] { cardTab_.printButton().setEnabled(true); },
                [this] { return setting(Setting::CardPrinter); },
                [this](const std::wstring& text) { search(text); }}),
      cardTab_(boxes_), spoolTab_(boxes_), settingsTab_(boxes_, registry_, shell_),
      settlingTimer_(*this, 500), captureTimer_(*this, 2000),
      reminderTimer_(*this, kReminderIntervalMs) {
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
    reminderTimer_.onTimer = [this] { onReminderTick(); };
    trayMenu_.addItem(L"Ouvrir Quorva");
    trayMenu_.addItem(L"Quitter");
    trayMenu_.setOnClick(0, [this] { onAnotherStart(); });
    trayMenu_.setOnClick(1, [this] { destroy(); });
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
    // Again now that the window has its frame: a window manager may have placed it meanwhile.
    placeInWorkArea();
    restorePlacement(showCommand);
    ShowWindow(hwnd(), showCommand);
    UpdateWindow(hwnd());
}

bool MainWindow::translateKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB || GetKeyState(VK_CONTROL) >= 0 ||
        (message.hwnd != hwnd() && !IsChild(hwnd(), message.hwnd)))
        return false;
    const int count = tabs_.pageCount();
    const int step = GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
    tabs_.setActivePage((tabs_.activePage() + step) % count);
    SetFocus(tabs_.hwnd());
    return true;
}

// ---- Creation and destruction

void MainWindow::OnCreate() {
    dpi_ = windowDpi(hwnd());
    createControls();
    placeInWorkArea();
    addAboutItem(hwnd());
    trayIcon_.add(hwnd(), kTrayMessage, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)),
                  L"Quorva");
    startUp();
}

void MainWindow::OnDestroy() {
    savePlacement();
    trayIcon_.remove();
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
    showServerStatus();
    reminderTimer_.setEnabled(true);
    if (proxyError)
        std::rethrow_exception(proxyError);
}

void MainWindow::startCapture() {
    createSharedFolder(dataFolder_);
    // The job store before the watcher, so that the history comes first; both before any
    // message box, so that nothing printed meanwhile waits on the user.
    const auto failure = core_.open(startLine(currentRunFacts(), settings_));
    startWatching();
    jobsTab_.setStatus("");
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
    jobsTab_.setStatus("Capture assurée par la session de " +
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
    case kJobChangedMessage: {
        if (const auto state = core_.onJobChanged(static_cast<std::int64_t>(lParam))) {
            itAlerts_.jobState(*state);
            if (*state == JobState::Failed)
                serverStatus_.failed(clock_.now());
            else if (*state == JobState::Sent || *state == JobState::Refused)
                serverStatus_.answered();
        }
        showServerStatus();
        return;
    }
    case kAnotherStartMessage:
        onAnotherStart();
        return;
    case kTrayMessage:
        onTrayMessage(static_cast<UINT>(lParam));
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
    // A job recorded in this pass waits to be sent.
    showServerStatus();
}

bool MainWindow::OnSysCommand(UINT command) {
    if (command != kAboutCommand)
        return false;
    showAbout(boxes_, hwnd());
    return true;
}

void MainWindow::onAnotherStart() {
    // Also from the notification area, where a minimised window hides.
    if (IsIconic(hwnd()) || !IsWindowVisible(hwnd()))
        ShowWindow(hwnd(), SW_RESTORE);
    SetForegroundWindow(hwnd());
}

void MainWindow::onTrayMessage(UINT mouseMessage) {
    if (mouseMessage == WM_LBUTTONUP || mouseMessage == WM_LBUTTONDBLCLK) {
        onAnotherStart();
    } else if (mouseMessage == WM_RBUTTONUP || mouseMessage == WM_CONTEXTMENU) {
        POINT cursor{};
        GetCursorPos(&cursor);
        // The menu closes when the user clicks elsewhere only if its owner is in front.
        SetForegroundWindow(hwnd());
        trayMenu_.track(hwnd(), cursor);
    }
}

void MainWindow::showServerStatus() {
    const int pending = core_.pendingCount();
    jobsTab_.setServerStatus(serverStatus_.text(pending));
    trayIcon_.setTip(pending == 0
                         ? std::wstring(L"Quorva")
                         : L"Quorva : " + locale_.ansiToWide(pendingInvoicesText(pending)));
}

void MainWindow::onReminderTick() {
    if (serverStatus_.takeFailureNotice(clock_.now()))
        trayIcon_.showBalloon(L"Quorva",
                              locale_.ansiToWide(serverStatus_.text(core_.pendingCount())));
}

void MainWindow::search(const std::wstring& text) {
    if (text.empty())
        jobsTab_.grid().showOnly(std::nullopt);
    else
        jobsTab_.grid().showOnly(core_.search(text));
}

void MainWindow::eventAdded(const std::string& line) {
    spoolTab_.addEvent(line);
}

void MainWindow::eventsCleared() {
    spoolTab_.clearEvents();
}

void MainWindow::statusChanged(const std::string& text) {
    // Once per loss of the folder, however long it stays lost.
    if (captureStatus_.empty() && !text.empty())
        trayIcon_.showBalloon(L"Quorva", locale_.ansiToWide(text));
    captureStatus_ = text;
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
    font_ = messageFontForDpi(dpi_);
    setFont(font_.get());
    tabs_.create(*this, {});
    tabs_.addPage(jobsTab_.page(), L"Suivi des Impressions");
    tabs_.addPage(cardTab_.page(), L"Carte de Fidélité");
    tabs_.addPage(spoolTab_.page(), L"Spouleur");
    tabs_.addPage(settingsTab_.page(), L"Paramètres");
    jobsTab_.create();
    cardTab_.create();
    spoolTab_.create();
    settingsTab_.create();
    jobsTab_.grid().setDpi(dpi_);
}

Layout MainWindow::layout() const {
    return {dpi_, lineHeightOf(font_.get())};
}

void MainWindow::layoutPages() {
    RECT client{};
    GetClientRect(hwnd(), &client);
    const Layout scale = layout();
    const int margin = scale(kMargin);
    tabs_.setBounds({margin, margin, std::max<int>(0, client.right - 2 * margin),
                     std::max<int>(0, client.bottom - 2 * margin)});
    tabs_.layoutPages();
    const Bounds page = jobsTab_.page().bounds();
    jobsTab_.layout(page.width, page.height, scale);
    cardTab_.layout(page.width, page.height, scale);
    spoolTab_.layout(page.width, page.height, scale);
    settingsTab_.layout(page.width, page.height, scale);
}

void MainWindow::applyFont() {
    font_ = messageFontForDpi(dpi_);
    setFont(font_.get());
    EnumChildWindows(
        hwnd(),
        [](HWND child, LPARAM font) {
            SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(font_.get()));
}

RECT MainWindow::windowRectForPages(int width, int height) const {
    const Layout scale = layout();
    const Bounds tabs = tabs_.boundsForDisplaySize(scale(width), scale(height));
    const RECT client{0, 0, tabs.width + 2 * scale(kMargin), tabs.height + 2 * scale(kMargin)};
    return windowRectForClient(client, kWindowStyle, 0, dpi_);
}

void MainWindow::placeInWorkArea() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const RECT frame = windowRectForPages(kPageWidth, kPageHeight);
    // Never larger than the screen's work area, whatever the screen and its scaling.
    const LONG width = std::min(frame.right - frame.left, work.right - work.left);
    const LONG height = std::min(frame.bottom - frame.top, work.bottom - work.top);
    SetWindowPos(hwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    layoutPages();
}

void MainWindow::restorePlacement(int& showCommand) {
    const auto remembered = readRememberedWindow(registry_);
    if (!remembered)
        return;
    jobsTab_.grid().setColumnWidths(remembered->columnWidths);
    RECT rect{remembered->left, remembered->top, remembered->right, remembered->bottom};
    // A screen since unplugged would open the window out of sight.
    const HMONITOR screen = MonitorFromRect(&rect, MONITOR_DEFAULTTONULL);
    if (screen == nullptr)
        return;
    // A screen made smaller since: the window moves and shrinks into its work area.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(screen, &monitor);
    const RECT& work = monitor.rcWork;
    const LONG width = std::min(rect.right - rect.left, work.right - work.left);
    const LONG height = std::min(rect.bottom - rect.top, work.bottom - work.top);
    rect.left = std::clamp(rect.left, work.left, work.right - width);
    rect.top = std::clamp(rect.top, work.top, work.bottom - height);
    rect.right = rect.left + width;
    rect.bottom = rect.top + height;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(hwnd(), &placement);
    placement.flags = 0;
    placement.showCmd = SW_HIDE;
    placement.rcNormalPosition = rect;
    SetWindowPlacement(hwnd(), &placement);
    if (remembered->maximized &&
        (showCommand == SW_SHOWNORMAL || showCommand == SW_SHOW || showCommand == SW_SHOWDEFAULT))
        showCommand = SW_SHOWMAXIMIZED;
}

void MainWindow::savePlacement() {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(hwnd(), &placement))
        return;
    const RECT& rect = placement.rcNormalPosition;
    // Hidden in the notification area, the window is still maximised when its flag says so.
    const bool maximized =
        placement.showCmd == SW_SHOWMAXIMIZED || (placement.flags & WPF_RESTORETOMAXIMIZED) != 0;
    rememberWindow(registry_, {rect.left, rect.top, rect.right, rect.bottom, maximized,
                               jobsTab_.grid().columnWidths()});
}

void MainWindow::OnSize(UINT kind, int, int) {
    if (kind == SIZE_MINIMIZED) {
        // Out of the taskbar, into the notification area (when the shell has one).
        if (trayIcon_.shown())
            ShowWindow(hwnd(), SW_HIDE);
        return;
    }
    layoutPages();
}

void MainWindow::OnGetMinMaxInfo(MINMAXINFO& limits) {
    if (tabs_.hwnd() == nullptr)
        return;
    const RECT smallest = windowRectForPages(kMinPageWidth, kMinPageHeight);
    limits.ptMinTrackSize = {smallest.right - smallest.left, smallest.bottom - smallest.top};
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    applyFont();
    jobsTab_.grid().setDpi(dpi_);
    // Moving and sizing lays the pages out again.
    Window::OnDpiChanged(dpi, suggested);
    layoutPages();
}

void MainWindow::OnSettingChange() {
    // The text size may have changed: new fonts, then the layout for their lines.
    applyFont();
    layoutPages();
}

bool MainWindow::OnActivate(bool active) {
    if (!active) {
        const HWND focus = GetFocus();
        lastFocus_ = focus != nullptr && IsChild(hwnd(), focus) ? focus : nullptr;
        return false;
    }
    if (lastFocus_ == nullptr || !IsWindow(lastFocus_) || !IsChild(hwnd(), lastFocus_) ||
        !IsWindowVisible(lastFocus_))
        return false;
    SetFocus(lastFocus_);
    return true;
}

} // namespace quorva
