#include "app/main_window.h"

#include "app/about.h"
#include "app/machine_settings.h"
#include "app/proxy.h"
#include "card/card_print.h"
#include "platform/system_error.h"

#include <windows.h>

#include <algorithm>

namespace quorva {

namespace {

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
// Space around the tab control, in the window's client area.
constexpr int kMargin = 6;

} // namespace

MainWindow::MainWindow(const MainWindowServices& services)
    : Window(services.messageBoxes), boxes(services.messageBoxes), registry(services.registry),
      clock(services.clock), locale(services.locale), files(services.files), shell(services.shell),
      jobTable(services.locale, services.clock), jobsPage(boxes), cardPage(boxes), spoolPage(boxes),
      settingsPage(boxes), jobGrid(jobTable), cardPicture(boxes),
      openPdfItem(jobPopup, L"Charger le fichier pdf de la facture", false),
      printCardItem(jobPopup, L"Imprimer la carte de fidélité", false), settlingTimer(*this, 500),
      reportUpload(httpClient, files, clock, locale), settlingPoll(jobTable, files, locale),
      dailyLog(files, clock), resendItem(jobPopup, L"Renvoyer la facture", false),
      endsProgram_(services.endsProgram), settingsFolder_(settingsFolderFor(services.appData)),
      dataFolder_(services.localAppData.value_or(settingsFolder_) + "\\Zentor\\Quorva"),
      settingsStore_(settingsFileIn(settingsFolder_)),
      settings_(settingsStore_, readMachineSettings(services.registry)),
      eventLog_(eventList, dailyLog), changes_(jobTable, eventLog_, clock, locale, files),
      font_(messageFont()) {
    boxes.setErrorSink(
        [this](const std::string& text) { dailyLog.write("Erreur affichée : " + text); });
    cardPrinterEdit.onExit = [this] { onCardPrinterEdited(); };
    serverUrlEdit.onExit = [this] { onServerUrlEdited(); };
    siteNameEdit.onExit = [this] { onSiteNameEdited(); };
    spoolFolderEdit.onExit = [this] { onSpoolFolderEdited(); };
    wireCaptureHandlers();
    wireCardHandlers();
    wirePrinterHandlers();
    create(kMainWindowClass, nullptr, kWindowStyle, 0,
           {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, L"Quorva");
}

MainWindow::~MainWindow() {
    boxes.setErrorSink({});
    destroy();
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
    // 1. The settings folder.
    createSettingsFolder(settingsFolder_);
    // 2. The settings into the edits.
    cardPrinterEdit.setText(settings_.read(Setting::CardPrinter));
    siteNameEdit.setText(settings_.read(Setting::Site));
    serverUrlEdit.setText(settings_.read(Setting::Url));
    spoolFolderEdit.setText(settings_.read(Setting::SpoolFolder));
    // 3. The in-memory copies from the edits; the watched folder.
    settings_.setValue(Setting::CardPrinter, cardPrinterEdit.text());
    settings_.setValue(Setting::Site, siteNameEdit.text());
    settings_.setValue(Setting::Url, serverUrlEdit.text());
    settings_.setValue(Setting::SpoolFolder, spoolFolderEdit.text());
    spoolFolderLabel.setText(spoolFolder());
    // The job store, whatever fails later in the start-up, and before the watcher: the history
    // rows come first.
    openJobStore();
    // 4.
    removeMaximizeBox();
    // 5.
    if (const auto proxy = detectProxy(registry)) {
        httpClient.setProxyServer(proxy->host);
        httpClient.setProxyPort(proxy->port);
    }
    // 6 and 7. The watcher holds no handles until it starts; the last event line is forgotten as
    // it starts.
    startWatching();
    // 8.
    tabControl.setActivePage(jobsPage);
    // 9.
    fillPrinterList();
    // 10.
    attributesLabel.setText("");
    // 11.
    jobGrid.setPopupMenu(&jobPopup);
    // 12.
    for (Label* label :
         {&cardCustomerLabel, &cardChassisLabel, &cardRegistrationLabel, &cardValidityLabel})
        label->setText("");
    // 13.
    hoverRow = -1;
}

void MainWindow::shutDown() {
    closeJobStore();
    watcher.stop();
}

void MainWindow::removeMaximizeBox() {
    const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    SetWindowLongPtrW(hwnd(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MAXIMIZEBOX));
}

void MainWindow::fillPrinterList() {
    printerList.clear();
    for (const std::string& name : systemPrinterNames())
        printerList.add(name);
}

// ---- The spool folder watcher

void MainWindow::startWatching() {
    eventLog_.clear();
    const WatchStartResult result =
        watcher.start(spoolFolderLabel.text(), hwnd(), kChangeBufferMessage);
    if (result.started) {
        // Read after the first read is armed: a file written in between has a record coming.
        changes_.startWatching(watcher.folder());
        return;
    }
    if (result.beep)
        MessageBeep(MB_OK);
    showMessage(boxes, hwnd(), result.errorText);
}

void MainWindow::OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kJobChangedMessage) {
        onJobChanged(static_cast<std::int64_t>(lParam));
        return;
    }
    if (message == kAnotherStartMessage) {
        onAnotherStart();
        return;
    }
    if (message != kChangeBufferMessage)
        return;
    switch (static_cast<WatchEvent>(lParam)) {
    case WatchEvent::Changes:
        onChangeBuffer(static_cast<unsigned long>(wParam));
        break;
    case WatchEvent::FolderLost:
        onFolderLost(static_cast<unsigned long>(wParam));
        break;
    case WatchEvent::FolderBack:
        onFolderBack();
        break;
    }
}

bool MainWindow::OnSysCommand(UINT command) {
    if (command != kAboutCommand)
        return false;
    showAbout(boxes, hwnd());
    return true;
}

void MainWindow::onChangeBuffer(unsigned long transferred) {
    if (changes_.process(watcher.buffer(), kChangeBufferSize, transferred, watcher.folder()))
        settlingTimer.setEnabled(true);
}

void MainWindow::onFolderLost(unsigned long error) {
    const std::string text = "Dossier du spouleur inaccessible : " + systemErrorText(error);
    statusLabel.setText(text);
    eventLog_.insertTop(eventLine(clock.now(), locale, text));
    itAlerts.spoolFolderLost(text);
}

void MainWindow::onFolderBack() {
    statusLabel.setText("");
    if (changes_.folderBack(watcher.folder()))
        settlingTimer.setEnabled(true);
}

void MainWindow::onAnotherStart() {
    if (IsIconic(hwnd()))
        ShowWindow(hwnd(), SW_RESTORE);
    SetForegroundWindow(hwnd());
}

// ---- The settings edits

void MainWindow::onCardPrinterEdited() {
    settings_.storeOnExit(Setting::CardPrinter, cardPrinterEdit.text());
}

void MainWindow::onServerUrlEdited() {
    settings_.storeOnExit(Setting::Url, serverUrlEdit.text());
    // Jobs still waiting go to the new address.
    if (sender) {
        sender->setServerUrl(serverUrl());
        sender->wake();
    }
}

void MainWindow::onSiteNameEdited() {
    settings_.storeOnExit(Setting::Site, siteNameEdit.text());
}

void MainWindow::onSpoolFolderEdited() {
    // The watcher goes on with the folder it opened; the poll and extraction use the new one.
    const std::string text = spoolFolderEdit.text();
    settings_.storeOnExit(Setting::SpoolFolder, text, [&] { spoolFolderLabel.setText(text); });
}

// ---- Layout

void MainWindow::createControls() {
    setFont(font_.get());
    tabControl.create(*this, {kMargin, kMargin, kPageWidth, kPageHeight});
    tabControl.addPage(jobsPage, L"Suivi des Impressions");
    tabControl.addPage(cardPage, L"Carte de Fidélité");
    tabControl.addPage(spoolPage, L"Spouleur");
    tabControl.addPage(settingsPage, L"Paramètres");
    fitWindowToTabs();
    createJobListPage();
    createCardPage();
    createSpoolPage();
    createSettingsPage();
}

void MainWindow::fitWindowToTabs() {
    const Bounds tabs = tabControl.boundsForDisplaySize(kPageWidth, kPageHeight);
    tabControl.setBounds(tabs);
    tabControl.layoutPages();
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
    const Bounds tabs = tabControl.bounds();
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

void MainWindow::createJobListPage() {
    constexpr int kInfoHeight = 16;
    jobGrid.create(jobsPage, {6, 6, kPageWidth - 12, kPageHeight - 12 - kInfoHeight - 4});
    statusLabel.create(jobsPage, {6, kPageHeight - 6 - kInfoHeight, kPageWidth - 48, kInfoHeight});
    // The poll's heartbeat, small in the bottom-right corner.
    heartbeatLabel.create(jobsPage,
                          {kPageWidth - 30, kPageHeight - 6 - kInfoHeight, 24, kInfoHeight}, L"..");
}

void MainWindow::createCardPage() {
    cardPicture.create(cardPage, {5, 5, 1011, 634});
    // Sized by their text, so that empty labels leave the picture alone.
    cardCustomerLabel.create(cardPage, {240, 435, 307, 62}, L"", true);
    cardChassisLabel.create(cardPage, {240, 503, 235, 62}, L"", true);
    cardRegistrationLabel.create(cardPage, {240, 563, 215, 62}, L"", true);
    cardValidityLabel.create(cardPage, {700, 563, 238, 62}, L"", true);
    finishCardPage();
}

void MainWindow::createSpoolPage() {
    spoolCaption_.create(spoolPage, {12, 14, 0, 0}, L"Dossier surveillé :", true);
    const int pathLeft = 12 + spoolCaption_.bounds().width + 6;
    spoolFolderLabel.create(spoolPage, {pathLeft, 14, kPageWidth - 12 - pathLeft, 18},
                            L"c:\\windows\\system32\\spool\\printers");
    eventsCaption_.create(spoolPage, {12, 44, 300, 18}, L"Événements (le plus récent en haut) :");
    eventList.create(spoolPage, {12, 64, kPageWidth - 24, kPageHeight - 76});
}

void MainWindow::createSettingsPage() {
    // Left: the installed printers and what can be done with them.
    constexpr int kListWidth = 420;
    printersCaption_.create(settingsPage, {12, 12, kListWidth, 18}, L"Imprimantes installées :");
    printerList.create(settingsPage, {12, 32, kListWidth, 352}, ListBox::Kind::OwnerDrawFixed, 16);
    attributesLabel.create(settingsPage, {12, 392, kListWidth, 18});
    keepJobsButton.create(settingsPage, {12, 420, 280, 28}, L"Paramétrer le suivi des travaux");
    stopKeepingJobsButton.create(settingsPage, {12, 454, 280, 28}, L"Arrêter le suivi des travaux");
    restartSpoolerButton.create(settingsPage, {12, 500, 280, 28},
                                L"Redémarrer le spouleur d'impression");
    for (Button* button : {&keepJobsButton, &stopKeepingJobsButton})
        button->setEnabled(false);

    // Between: copies the selected printer into the card printer's edit.
    constexpr int kEditLeft = 500;
    constexpr int kEditWidth = kPageWidth - kEditLeft - 12;
    chooseCardPrinterButton.create(settingsPage, {kListWidth + 24, 31, 44, 26}, L">>");
    chooseCardPrinterButton.setEnabled(false);

    // Right: the four settings, each under its caption.
    struct Field {
        Label& caption;
        const wchar_t* text;
        Edit& edit;
    };
    const Field fields[] = {
        {cardPrinterCaption_, L"Imprimante des cartes de fidélité :", cardPrinterEdit},
        {urlCaption_, L"Adresse du serveur de rapports :", serverUrlEdit},
        {siteCaption_, L"Nom du site :", siteNameEdit},
        {spoolFolderCaption_, L"Dossier du spouleur :", spoolFolderEdit},
    };
    int y = 12;
    for (const Field& field : fields) {
        field.caption.create(settingsPage, {kEditLeft, y, kEditWidth, 18}, field.text);
        field.edit.create(settingsPage, {kEditLeft, y + 20, kEditWidth, 24});
        y += 64;
    }
}

} // namespace quorva
