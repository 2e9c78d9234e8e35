#include "app/main_form.h"

#include "app/proxy.h"
#include "card/card_print.h"

#include <windows.h>

#include <algorithm>

namespace quorva {

namespace {

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
// Space around the tab control, in the window's client area.
constexpr int kMargin = 6;

} // namespace

TForm1::TForm1(const FormServices& services)
    : Window(services.messageBoxes), boxes(services.messageBoxes), registry(services.registry),
      clock(services.clock), locale(services.locale), files(services.files), shell(services.shell),
      jobTable(services.locale, services.clock), TabSheet2(boxes), TabSheet4(boxes),
      TabSheet1(boxes), TabSheet3(boxes), ngListJobs(jobTable), Image1(boxes),
      PopLoadPDF(PopupListJobs, L"Charger le fichier pdf de la facture", false),
      popPrintCarteFidelite(PopupListJobs, L"Imprimer la carte de fidélité", false),
      Timer1(*this, 500), reportUpload(HttpClient1, files, clock, locale),
      settlingPoll(jobTable, files, locale), endsProgram_(services.endsProgram),
      settingsFolder_(settingsFolderFor(services.appData)),
      settingsStore_(settingsFileIn(settingsFolder_)), settings_(settingsStore_),
      eventLog_(lbEvents), changes_(jobTable, eventLog_, clock, locale, files),
      font_(messageFont()) {
    nCardPrinter.onExit = [this] { nCardPrinterExit(); };
    nURL.onExit = [this] { nURLExit(); };
    nSite.onExit = [this] { nSiteExit(); };
    nSpoolFolder.onExit = [this] { nSpoolFolderExit(); };
    wireCaptureHandlers();
    wireCardHandlers();
    wirePrinterHandlers();
    create(L"QuorvaMainWindow", nullptr, kWindowStyle, 0,
           {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, L"Quorva");
}

TForm1::~TForm1() {
    destroy();
}

void TForm1::show(int showCommand) {
    ShowWindow(hwnd(), showCommand);
    UpdateWindow(hwnd());
}

// ---- Creation and destruction

void TForm1::OnCreate() {
    createControls();
    FormCreate();
}

void TForm1::OnDestroy() {
    FormDestroy();
    if (endsProgram_)
        PostQuitMessage(0);
}

void TForm1::FormCreate() {
    // 1. The settings folder.
    createSettingsFolder(settingsFolder_);
    // 2. The settings into the edits.
    nCardPrinter.setText(settings_.read(Setting::CardPrinter));
    nSite.setText(settings_.read(Setting::Site));
    nURL.setText(settings_.read(Setting::Url));
    nSpoolFolder.setText(settings_.read(Setting::SpoolFolder));
    // 3. The in-memory copies from the edits; the watched folder.
    settings_.setValue(Setting::CardPrinter, nCardPrinter.text());
    settings_.setValue(Setting::Site, nSite.text());
    settings_.setValue(Setting::Url, nURL.text());
    settings_.setValue(Setting::SpoolFolder, nSpoolFolder.text());
    lbPath.setText(spoolFolder());
    // 4.
    removeMaximizeBox();
    // 5.
    if (const auto proxy = detectProxy(registry)) {
        HttpClient1.setProxyServer(proxy->host);
        HttpClient1.setProxyPort(proxy->port);
    }
    // 6. The watcher holds no handles until it starts; the last event line is forgotten.
    changes_.reset();
    // 7.
    bStartClick();
    // 8.
    PageControl1.setActivePage(TabSheet2);
    // 9.
    fillPrinterList();
    // 10.
    Label1.setText("");
    // 11.
    ngListJobs.setPopupMenu(&PopupListJobs);
    // 12.
    for (Label* label : {&lbcNomClient, &lbcChassis, &lbcImmat, &lbcValidite})
        label->setText("");
    // 13.
    hoverRow = -1;
}

void TForm1::FormDestroy() {
    watcher.stop();
}

void TForm1::removeMaximizeBox() {
    const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    SetWindowLongPtrW(hwnd(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MAXIMIZEBOX));
}

void TForm1::fillPrinterList() {
    ListBox1.clear();
    for (const std::string& name : systemPrinterNames())
        ListBox1.add(name);
}

// ---- The spool folder watcher

void TForm1::bStartClick() {
    eventLog_.clear();
    changes_.reset();
    const WatchStartResult result = watcher.start(lbPath.text(), hwnd(), kChangeBufferMessage);
    if (result.started)
        return;
    if (result.beep)
        MessageBeep(MB_OK);
    showMessage(boxes, hwnd(), result.errorText);
}

void TForm1::OnAppMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message == kChangeBufferMessage)
        ProcessChangeBuffer(static_cast<unsigned long>(wParam));
}

void TForm1::ProcessChangeBuffer(unsigned long transferred) {
    if (changes_.process(watcher.buffer(), kChangeBufferSize, transferred, watcher.folder()))
        Timer1.setEnabled(true);
}

// ---- The settings edits

void TForm1::nCardPrinterExit() {
    settings_.storeOnExit(Setting::CardPrinter, nCardPrinter.text());
}

void TForm1::nURLExit() {
    settings_.storeOnExit(Setting::Url, nURL.text());
}

void TForm1::nSiteExit() {
    settings_.storeOnExit(Setting::Site, nSite.text());
}

void TForm1::nSpoolFolderExit() {
    // The watcher goes on with the folder it opened; the poll and extraction use the new one.
    const std::string text = nSpoolFolder.text();
    settings_.storeOnExit(Setting::SpoolFolder, text, [&] { lbPath.setText(text); });
}

// ---- Layout

void TForm1::createControls() {
    setFont(font_.get());
    PageControl1.create(*this, {kMargin, kMargin, kPageWidth, kPageHeight});
    PageControl1.addPage(TabSheet2, L"Suivi des Impressions");
    PageControl1.addPage(TabSheet4, L"Carte de Fidélité");
    PageControl1.addPage(TabSheet1, L"Spouleur");
    PageControl1.addPage(TabSheet3, L"Paramètres");
    fitWindowToTabs();
    createJobListPage();
    createCardPage();
    createSpoolPage();
    createSettingsPage();
}

void TForm1::fitWindowToTabs() {
    const Bounds tabs = PageControl1.boundsForDisplaySize(kPageWidth, kPageHeight);
    PageControl1.setBounds(tabs);
    PageControl1.layoutPages();
    RECT frame{0, 0, tabs.width + 2 * kMargin, tabs.height + 2 * kMargin};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = std::max<int>(work.left, work.left + (work.right - work.left - width) / 2);
    const int y = std::max<int>(work.top, work.top + (work.bottom - work.top - height) / 2);
    SetWindowPos(hwnd(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::createJobListPage() {
    constexpr int kInfoHeight = 16;
    ngListJobs.create(TabSheet2, {6, 6, kPageWidth - 12, kPageHeight - 12 - kInfoHeight - 4});
    // The poll's heartbeat, small in the bottom-right corner.
    lbInfoTimer.create(TabSheet2, {kPageWidth - 30, kPageHeight - 6 - kInfoHeight, 24, kInfoHeight},
                       L"..");
}

void TForm1::createCardPage() {
    Image1.create(TabSheet4, {5, 5, 1011, 634});
    // Sized by their text, so that empty labels leave the picture alone.
    lbcNomClient.create(TabSheet4, {240, 435, 307, 62}, L"", true);
    lbcChassis.create(TabSheet4, {240, 503, 235, 62}, L"", true);
    lbcImmat.create(TabSheet4, {240, 563, 215, 62}, L"", true);
    lbcValidite.create(TabSheet4, {700, 563, 238, 62}, L"", true);
    finishCardPage();
}

void TForm1::createSpoolPage() {
    spoolCaption_.create(TabSheet1, {12, 14, 0, 0}, L"Dossier surveillé :", true);
    const int pathLeft = 12 + spoolCaption_.bounds().width + 6;
    lbPath.create(TabSheet1, {pathLeft, 14, kPageWidth - 12 - pathLeft, 18},
                  L"c:\\windows\\system32\\spool\\printers");
    eventsCaption_.create(TabSheet1, {12, 44, 300, 18}, L"Événements (le plus récent en haut) :");
    lbEvents.create(TabSheet1, {12, 64, kPageWidth - 24, kPageHeight - 76});
}

void TForm1::createSettingsPage() {
    // Left: the installed printers and what can be done with them.
    constexpr int kListWidth = 420;
    printersCaption_.create(TabSheet3, {12, 12, kListWidth, 18}, L"Imprimantes installées :");
    ListBox1.create(TabSheet3, {12, 32, kListWidth, 352}, ListBox::Kind::OwnerDrawFixed, 16);
    Label1.create(TabSheet3, {12, 392, kListWidth, 18});
    BtnKeepJobs.create(TabSheet3, {12, 420, 280, 28}, L"Paramétrer le suivi des travaux");
    BtnStopKeepJobs.create(TabSheet3, {12, 454, 280, 28}, L"Arrêter le suivi des travaux");
    BtnRestartSpooler.create(TabSheet3, {12, 500, 280, 28}, L"Redémarrer le spouleur d'impression");
    for (Button* button : {&BtnKeepJobs, &BtnStopKeepJobs})
        button->setEnabled(false);

    // Between: copies the selected printer into the card printer's edit.
    constexpr int kEditLeft = 500;
    constexpr int kEditWidth = kPageWidth - kEditLeft - 12;
    BtnSelCardPrinter.create(TabSheet3, {kListWidth + 24, 31, 44, 26}, L">>");
    BtnSelCardPrinter.setEnabled(false);

    // Right: the four settings, each under its caption.
    struct Field {
        Label& caption;
        const wchar_t* text;
        Edit& edit;
    };
    const Field fields[] = {
        {cardPrinterCaption_, L"Imprimante des cartes de fidélité :", nCardPrinter},
        {urlCaption_, L"Adresse du serveur de rapports :", nURL},
        {siteCaption_, L"Nom du site :", nSite},
        {spoolFolderCaption_, L"Dossier du spouleur :", nSpoolFolder},
    };
    int y = 12;
    for (const Field& field : fields) {
        field.caption.create(TabSheet3, {kEditLeft, y, kEditWidth, 18}, field.text);
        field.edit.create(TabSheet3, {kEditLeft, y + 20, kEditWidth, 24});
        y += 64;
    }
}

} // namespace quorva
