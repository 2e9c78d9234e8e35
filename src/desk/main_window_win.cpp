#include "desk/main_window.h"

#include "card/card_preview.h"
#include "card/invoice_pdf.h"
#include "core/server_status.h"
#include "desk/about.h"
#include "desk/single_instance.h"
#include "desk/window_memory.h"
#include "desk/window_messages.h"
#include "net/url.h"
#include "platform/program_facts.h"
#include "settings/machine_settings.h"

#include <windows.h>

#include <algorithm>

namespace quorva {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// Space around the tab control, in the window's client area, in design units.
constexpr int kMargin = 6;
constexpr char kServiceStopped[] = "Service de capture arrêté";

} // namespace

MainWindow::MainWindow(const MainWindowServices& services)
    : Window(services.messageBoxes), boxes_(services.messageBoxes), registry_(services.registry),
      clock_(services.clock), locale_(services.locale), shell_(services.shell),
      endsProgram_(services.endsProgram), settingsFolder_(settingsFolderFor(services.appData)),
      settingsStore_(settingsFileIn(settingsFolder_)),
      settings_(settingsStore_, readMachineSettings(services.registry)), log_(logFiles_, clock_),
      administrator_(services.hasAdministratorRights ? services.hasAdministratorRights()
                                                     : hasAdministratorRights()),
      openOnSettings_(services.openOnSettings), client_(services.pipeName, kCaptureMessage),
      jobsTab_(boxes_, jobs_, locale_,
               {[this](JobId id) { openPdf(id); }, [this](JobId id) { printCard(id); },
                [this](JobId id) { sendToService(SendAgainRequest{serviceIds_.at(id)}); },
                [this](JobId id) { return jobs_.contains(id) && canSendAgain_.at(id); },
                [this](JobId id) { showCard(id); },
                [this] { cardTab_.printButton().setEnabled(true); },
                [this] { return setting(Setting::CardPrinter); },
                [this](const std::wstring& text) { search(text); }}),
      cardTab_(boxes_), spoolTab_(boxes_), settingsTab_(boxes_, registry_, shell_) {
    jobs_.setListener(&jobsTab_.grid());
    if (!services.logFolder.empty()) {
        log_.open(services.logFolder);
        boxes_.setErrorSink(
            [this](const std::string& text) { log_.write("Erreur affichée : " + text); });
    }
    settingsTab_.onEdited = [this](Setting which) { onSettingEdited(which); };
    trayMenu_.addItem(L"Ouvrir Quorva");
    trayMenu_.addItem(L"Quitter");
    trayMenu_.setOnClick(0, [this] { onAnotherStart(); });
    trayMenu_.setOnClick(1, [this] { destroy(); });
    cardTab_.printButton().onClick = [this] { cardTab_.print(setting(Setting::CardPrinter)); };
    settingsTab_.elevateButton().onClick = [this] {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        shell_.execute("runas", path, "--parametres", SW_SHOWNORMAL);
    };
    cardTab_.onPrinting = [this](bool printing) {
        tabs_.setActivePage(printing ? cardTab_.page() : jobsTab_.page());
    };
    create(kMainWindowClass, nullptr, kWindowStyle, 0,
           {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, L"Quorva");
}

MainWindow::~MainWindow() {
    destroy();
    boxes_.setErrorSink({});
    jobs_.setListener(nullptr);
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
    client_.stop();
    if (endsProgram_)
        PostQuitMessage(0);
}

void MainWindow::startUp() {
    createSettingsFolder(settingsFolder_);
    // The card printer into its edit, and the in-memory copy from the edit.
    settingsTab_.setText(Setting::CardPrinter, settings_.read(Setting::CardPrinter));
    settings_.setValue(Setting::CardPrinter, settingsTab_.text(Setting::CardPrinter));
    showMachineSettings();
    settingsTab_.allowAdministration(administrator_);
    tabs_.setActivePage(openOnSettings_ ? settingsTab_.page() : jobsTab_.page());
    settingsTab_.fillPrinterList();
    // Until the service answers, the list is empty and the line says why.
    jobsTab_.setStatus(kServiceStopped);
    client_.start(hwnd());
}

// The session ends: the pipe's thread must not outlive the window's.
void MainWindow::OnEndSession() {
    client_.stop();
}

// ---- The capture service

void MainWindow::OnAppMessage(UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case kCaptureMessage:
        onCaptureEvents();
        return;
    case kAnotherStartMessage:
        onAnotherStart();
        return;
    case kTrayMessage:
        onTrayMessage(static_cast<UINT>(lParam));
        return;
    default:
        return;
    }
}

void MainWindow::onCaptureEvents() {
    for (ClientEvent& event : client_.takeEvents()) {
        switch (event.kind) {
        case ClientEvent::Kind::Connected:
            sendToService(Hello{kProtocolVersion, programVersion()});
            break;
        case ClientEvent::Kind::Lost:
            onServiceLost();
            break;
        case ClientEvent::Kind::Received:
            try {
                onServiceMessage(decodeMessage(event.payload, locale_));
            } catch (const ProtocolError&) {
                // A service that breaks the protocol is not listened to; it is tried again.
                onServiceLost();
            }
            break;
        }
    }
}

void MainWindow::onServiceMessage(const Message& message) {
    if (const auto* hello = std::get_if<Hello>(&message)) {
        if (hello->protocol != kProtocolVersion) {
            mismatch_ = versionMismatchText(*hello, programVersion());
            showCaptureStatus(mismatch_);
            return;
        }
        mismatch_.clear();
        // A new connection: the service's ids are its run's, so the copy starts again.
        snapshotDone_ = false;
        jobs_.clear();
        serviceIds_.clear();
        canSendAgain_.clear();
        byServiceId_.clear();
        spoolTab_.clearEvents();
        return;
    }
    if (!mismatch_.empty())
        return;
    if (const auto* update = std::get_if<JobUpdate>(&message)) {
        onJobUpdate(*update);
    } else if (std::holds_alternative<SnapshotDone>(message)) {
        snapshotDone_ = true;
    } else if (const auto* event = std::get_if<EventAdded>(&message)) {
        spoolTab_.addEvent(event->line);
    } else if (std::holds_alternative<EventsCleared>(message)) {
        spoolTab_.clearEvents();
    } else if (const auto* status = std::get_if<StatusUpdate>(&message)) {
        onStatus(*status);
    } else if (const auto* found = std::get_if<SearchResult>(&message)) {
        // An answer to a search the user has since changed is stale.
        if (found->request != lastSearch_)
            return;
        std::vector<JobId> ids;
        for (const JobId serviceId : found->ids) {
            if (serviceId >= 0 && serviceId < static_cast<JobId>(byServiceId_.size()) &&
                byServiceId_[static_cast<std::size_t>(serviceId)] != kNoJob)
                ids.push_back(byServiceId_[static_cast<std::size_t>(serviceId)]);
        }
        jobsTab_.grid().showOnly(ids);
    }
}

void MainWindow::onJobUpdate(const JobUpdate& update) {
    const auto serviceId = static_cast<std::size_t>(update.id);
    if (serviceId >= byServiceId_.size())
        byServiceId_.resize(serviceId + 1, kNoJob);
    JobId& id = byServiceId_[serviceId];
    if (id == kNoJob) {
        // Flags first: the grid asks about the job as soon as it is added.
        serviceIds_.push_back(update.id);
        canSendAgain_.push_back(update.canSendAgain);
        id = jobs_.add(update.job);
    } else {
        canSendAgain_.at(static_cast<std::size_t>(id)) = update.canSendAgain;
        jobs_.update(id, [&](Job& job) { job = update.job; });
    }
    // The poll is running while a job settles.
    if (!update.job.done() && !update.job.fromHistory)
        jobsTab_.beat();
}

void MainWindow::onStatus(const StatusUpdate& status) {
    showCaptureStatus(status.capture);
    jobsTab_.setServerStatus(status.server);
    trayIcon_.setTip(status.pending == 0
                         ? std::wstring(L"Quorva")
                         : L"Quorva : " + locale_.ansiToWide(pendingInvoicesText(status.pending)));
    // Once per episode of failures that has lasted long enough.
    if (status.failing && !failingTold_)
        trayIcon_.showBalloon(L"Quorva", locale_.ansiToWide(status.server));
    failingTold_ = status.failing;
}

void MainWindow::onServiceLost() {
    snapshotDone_ = false;
    jobsTab_.setServerStatus("");
    showCaptureStatus(mismatch_.empty() ? std::string(kServiceStopped) : mismatch_);
}

void MainWindow::showCaptureStatus(const std::string& text) {
    // Once per loss, however long it lasts.
    if (captureStatus_.empty() && !text.empty())
        trayIcon_.showBalloon(L"Quorva", locale_.ansiToWide(text));
    captureStatus_ = text;
    jobsTab_.setStatus(text);
}

void MainWindow::sendToService(const Message& message) {
    client_.send(encodeFrame(encodeMessage(message, locale_)));
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

void MainWindow::search(const std::wstring& text) {
    ++lastSearch_;
    if (text.empty())
        jobsTab_.grid().showOnly(std::nullopt);
    else
        sendToService(SearchRequest{lastSearch_, text});
}

// ---- The settings edits

namespace {

// The machine's value behind a capture setting's edit.
template <typename Machine> auto& machineValue(Machine& machine, Setting which) {
    return which == Setting::Site  ? machine.site
           : which == Setting::Url ? machine.url
                                   : machine.spoolFolder;
}

} // namespace

const std::string& MainWindow::setting(Setting which) const {
    if (which == Setting::CardPrinter)
        return settings_.value(which);
    return machineValue(machine_, which).text;
}

std::string MainWindow::shownSetting(Setting which) const {
    // A password in the server's address is not shown; an edit left as shown keeps it.
    return which == Setting::Url ? withoutCredentials(setting(which)) : setting(which);
}

void MainWindow::showMachineSettings() {
    machine_ = readMachineCaptureSettings(registry_);
    for (const Setting which : {Setting::Site, Setting::Url, Setting::SpoolFolder}) {
        const MachineValue& value = machineValue(machine_, which);
        settingsTab_.setText(which, shownSetting(which));
        settingsTab_.setReadOnly(which, !administrator_ || value.origin == SettingOrigin::Policy);
    }
    spoolTab_.setFolder(machine_.spoolFolder.text);
}

void MainWindow::onSettingEdited(Setting which) {
    const std::string text = settingsTab_.text(which);
    if (which == Setting::CardPrinter) {
        // In effect before it is written, also when the write fails.
        settings_.storeOnExit(which, text);
        return;
    }
    if (!administrator_ || text == shownSetting(which))
        return;
    // The service reads the machine's key again as soon as it changes.
    writeMachineSetting(registry_, settingInfo(which).key, text);
    showMachineSettings();
}

// ---- The card and the invoice

void MainWindow::showCard(JobId id) {
    cardTab_.show(cardLabelsFor(jobs_.at(id), locale_, clock_));
}

void MainWindow::printCard(JobId id) {
    showCard(id);
    cardTab_.print(setting(Setting::CardPrinter));
}

void MainWindow::openPdf(JobId id) {
    openInvoicePdf(setting(Setting::Url), jobs_.at(id).reportId, registry_, shell_);
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
