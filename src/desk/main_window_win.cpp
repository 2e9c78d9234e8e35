#include "desk/main_window.h"

#include "card/card_preview.h"
#include "card/invoice_pdf.h"
#include "desk/about.h"
#include "desk/single_instance.h"
#include "desk/window_memory_win.h"
#include "desk/window_messages.h"
#include "net/url.h"
#include "platform/program_facts.h"
#include "ui/window_placement.h"

#include <windows.h>

#include <algorithm>

namespace quorva {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// Space around the tab control, in the window's client area, in design units.
constexpr int kMargin = 6;

} // namespace

MainWindow::MainWindow(const MainWindowServices& services)
    : Window(services.messageBoxes), boxes_(services.messageBoxes), registry_(services.registry),
      clock_(services.clock), locale_(services.locale), shell_(services.shell),
      paths_(services.paths), endsProgram_(services.endsProgram),
      openOnSettings_(services.openOnSettings), log_(logFiles_, clock_),
      service_(services.pipeName, kCaptureMessage, locale_,
               {.onJobSettling = [this] { jobsTab_.beat(); },
                .onEventAdded = [this](const std::string& line) { spoolTab_.addEvent(line); },
                .onEventsCleared = [this] { spoolTab_.clearEvents(); },
                .onStatus = [this](const StatusUpdate& status) { statusLine_.showStatus(status); },
                .onFound = [this](const auto& ids) { jobsTab_.grid().showOnly(ids); },
                .onStopped = [this](const std::string& text,
                                    bool lost) { statusLine_.showCaptureStop(text, lost); }}),
      jobsTab_(boxes_, service_.jobs(), locale_,
               {.onOpenPdf = [this](JobId id) { openPdf(id); },
                .onPrintCard = [this](JobId id) { printCard(id); },
                .onSendAgain = [this](JobId id) { service_.sendAgain(id); },
                .onShowCard = [this](JobId id) { showCard(id); },
                .onDeselect = [this] { cardTab_.enablePrintButton(); },
                .onSearch = [this](const std::wstring& text) { service_.search(text); },
                .canSendAgain = [this](JobId id) { return service_.canSendAgain(id); },
                .cardPrinter = [this] { return setting(Setting::CardPrinter); }}),
      cardTab_(boxes_, [this] { return setting(Setting::CardPrinter); }), spoolTab_(boxes_),
      settingsTab_(boxes_, registry_, shell_),
      settings_(paths_, registry_,
                services.hasAdministratorRights ? services.hasAdministratorRights()
                                                : hasAdministratorRights(),
                settingsTab_, spoolTab_),
      tray_([this] { onAnotherStart(); }, [this] { destroy(); }),
      statusLine_(jobsTab_, tray_.icon(), locale_) {
    service_.jobs().setListener(&jobsTab_.grid());
    if (!paths_.logFolder.empty()) {
        log_.open(paths_.logFolder);
        boxes_.setErrorSink(
            [this](const std::string& text) { log_.write("Erreur affichée : " + text); });
    }
    settingsTab_.onEdited = [this](Setting which) { settings_.applyEdit(which); };
    cardTab_.onPrinting = [this](bool printing) {
        tabs_.setActivePage(printing ? cardTab_.page() : jobsTab_.page());
    };
    create(kMainWindowClass, nullptr, kWindowStyle, 0,
           {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, L"Quorva");
}

MainWindow::~MainWindow() {
    destroy();
    boxes_.setErrorSink({});
    service_.jobs().setListener(nullptr);
}

void MainWindow::start() {
    settings_.load();
    tabs_.setActivePage(openOnSettings_ ? settingsTab_.page() : jobsTab_.page());
    settingsTab_.fillPrinterList();
    // Until the service answers, the list is empty and the line says why.
    statusLine_.showServiceAwaited();
    service_.start(hwnd());
}

void MainWindow::show(int showCommand) {
    // Again now that the window has its frame: a window manager may have placed it meanwhile.
    placeInWorkArea();
    restoreWindow(registry_, hwnd(), jobsTab_.grid(), showCommand);
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

void MainWindow::OnCreate() {
    dpi_ = windowDpi(hwnd());
    createControls();
    placeInWorkArea();
    addAboutItem(hwnd());
    tray_.add(hwnd(), kTrayMessage);
}

void MainWindow::OnDestroy() {
    rememberWindow(registry_, hwnd(), jobsTab_.grid());
    tray_.remove();
    service_.stop();
    if (endsProgram_)
        PostQuitMessage(0);
}

// The session ends: the pipe's thread must not outlive the window's.
void MainWindow::OnEndSession() {
    service_.stop();
}

void MainWindow::OnAppMessage(UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case kCaptureMessage:
        service_.takeEvents();
        return;
    case kAnotherStartMessage:
        onAnotherStart();
        return;
    case kTrayMessage:
        tray_.handleMouse(static_cast<UINT>(lParam));
        return;
    default:
        return;
    }
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

void MainWindow::showCard(JobId id) {
    cardTab_.show(cardLabelsFor(jobs().at(id), locale_, clock_));
}

void MainWindow::printCard(JobId id) {
    showCard(id);
    cardTab_.print(setting(Setting::CardPrinter));
}

void MainWindow::openPdf(JobId id) {
    openInvoicePdf(setting(Setting::Url), jobs().at(id).reportId, registry_, shell_);
}

// ---- Layout and placement

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

SIZE MainWindow::frameForPages(int width, int height) const {
    const Layout scale = layout();
    const Bounds tabs = tabs_.boundsForDisplaySize(scale(width), scale(height));
    const RECT client{0, 0, tabs.width + 2 * scale(kMargin), tabs.height + 2 * scale(kMargin)};
    const RECT frame = windowRectForClient(client, kWindowStyle, 0, dpi_);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void MainWindow::placeInWorkArea() {
    centreInWorkArea(hwnd(), frameForPages(kPageWidth, kPageHeight));
    layoutPages();
}

void MainWindow::OnSize(UINT kind, int, int) {
    if (kind == SIZE_MINIMIZED) {
        // Out of the taskbar, into the notification area (when the shell has one).
        if (tray_.icon().shown())
            ShowWindow(hwnd(), SW_HIDE);
        return;
    }
    layoutPages();
}

void MainWindow::OnGetMinMaxInfo(MINMAXINFO& limits) {
    if (tabs_.hwnd() == nullptr)
        return;
    const SIZE smallest = frameForPages(kMinPageWidth, kMinPageHeight);
    limits.ptMinTrackSize = {smallest.cx, smallest.cy};
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
        focus_.remember(hwnd());
        return false;
    }
    return focus_.restore(hwnd());
}

} // namespace quorva
