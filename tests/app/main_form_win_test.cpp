// The main window under Wine: created with its own settings folder and spool folder, driven by
// messages and by files dropped into the folder, and read back through its controls.

#include "app/main_form.h"
#include "app/proxy.h"
#include "main_form_fixture.h"
#include "platform/locale.h"
#include "platform/system_error.h"
#include "support/fakes.h"
#include "support/message_pump.h"
#include "support/recording_message_boxes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace quorva {
namespace {

constexpr char kDefaultSpoolFolder[] = "c:\\windows\\system32\\spool\\printers";

std::vector<std::string> itemsOf(const ListBox& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.count(); ++i)
        items.push_back(list.item(i));
    return items;
}

using MainFormTest = MainFormFixture;

TEST_F(MainFormTest, FirstRunShowsTheDefaultsAndWritesNoSettings) {
    const auto form = open();
    EXPECT_EQ(form->nCardPrinter.text(), "");
    EXPECT_EQ(form->nSite.text(), "VERNO");
    EXPECT_EQ(form->nURL.text(), "http://127.0.0.1:8080/KelbBin/Kelb.dll/");
    EXPECT_EQ(form->nSpoolFolder.text(), kDefaultSpoolFolder);
    EXPECT_EQ(form->lbPath.text(), kDefaultSpoolFolder);
    EXPECT_EQ(form->siteName(), "VERNO");
    EXPECT_EQ(form->cardPrinterName(), "");
    EXPECT_EQ(form->watcher.folder(), kDefaultSpoolFolder);
    EXPECT_EQ(form->watcher.running(),
              GetFileAttributesA(kDefaultSpoolFolder) != INVALID_FILE_ATTRIBUTES);

    EXPECT_TRUE(std::filesystem::is_directory(appData + "\\Zentor"));
    EXPECT_EQ(form->settingsFile(), settingsFile());
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainFormTest, StartUpLeavesTheWindowInItsInitialState) {
    const auto form = open();
    const LONG_PTR style = GetWindowLongPtrW(form->hwnd(), GWL_STYLE);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_EQ(style & WS_MINIMIZEBOX, WS_MINIMIZEBOX);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    wchar_t title[32] = {};
    GetWindowTextW(form->hwnd(), title, 32);
    EXPECT_STREQ(title, L"Quorva");

    EXPECT_EQ(form->PageControl1.activePage(), 0);
    EXPECT_EQ(GetWindowLongPtrW(form->TabSheet2.hwnd(), GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);
    EXPECT_EQ(form->Label1.text(), "");
    for (const Label* label :
         {&form->lbcNomClient, &form->lbcChassis, &form->lbcImmat, &form->lbcValidite})
        EXPECT_EQ(label->text(), "");
    EXPECT_EQ(form->hoverRow, -1);
    EXPECT_EQ(form->ngListJobs.popupMenu(), &form->PopupListJobs);
    EXPECT_FALSE(form->PopLoadPDF.enabled());
    EXPECT_FALSE(form->popPrintCarteFidelite.enabled());
    EXPECT_FALSE(form->Timer1.enabled());
    EXPECT_EQ(form->Timer1.interval(), 500u);
    EXPECT_EQ(form->lbInfoTimer.text(), "..");
    EXPECT_EQ(form->ListBox1.itemHeight(), 16);
    EXPECT_EQ(form->HttpClient1.proxyServer(), "");

    // The card page has room for the whole card picture.
    RECT card{};
    GetClientRect(form->TabSheet4.hwnd(), &card);
    EXPECT_GE(card.right, 1021);
    EXPECT_GE(card.bottom, 644);
    const Bounds picture = form->lbcNomClient.bounds();
    EXPECT_EQ(picture.x, 240);
    EXPECT_EQ(picture.y, 435);
    RECT image{};
    GetWindowRect(form->Image1.hwnd(), &image);
    EXPECT_EQ(image.right - image.left, 1011);
    EXPECT_EQ(image.bottom - image.top, 634);
}

TEST_F(MainFormTest, TabsAndControlsCarryTheirCaptions) {
    const auto form = open();
    ASSERT_EQ(form->PageControl1.pageCount(), 4);
    EXPECT_EQ(form->PageControl1.caption(0), L"Suivi des Impressions");
    EXPECT_EQ(form->PageControl1.caption(1), L"Carte de Fidélité");
    EXPECT_EQ(form->PageControl1.caption(2), L"Spouleur");
    EXPECT_EQ(form->PageControl1.caption(3), L"Paramètres");
    EXPECT_EQ(form->BtnKeepJobs.wideText(), L"Paramétrer le suivi des travaux");
    EXPECT_EQ(form->BtnStopKeepJobs.wideText(), L"Arrêter le suivi des travaux");
    EXPECT_EQ(form->BtnRestartSpooler.wideText(), L"Redémarrer le spouleur d'impression");
    EXPECT_EQ(form->BtnSelCardPrinter.wideText(), L">>");
    EXPECT_FALSE(form->BtnSelCardPrinter.enabled());
    EXPECT_EQ(form->PopLoadPDF.caption(), L"Charger le fichier pdf de la facture");
    EXPECT_EQ(form->popPrintCarteFidelite.caption(), L"Imprimer la carte de fidélité");
}

TEST_F(MainFormTest, FilesDroppedIntoTheStoredSpoolFolderBecomeRows) {
    const auto form = openOnSpool();
    EXPECT_EQ(form->nSpoolFolder.text(), spool);
    EXPECT_EQ(form->lbPath.text(), spool);
    ASSERT_TRUE(form->watcher.running());
    EXPECT_EQ(form->watcher.folder(), spool);
    EXPECT_EQ(form->lbEvents.count(), 0);

    std::ofstream(spool + "\\00012.SPL", std::ios::binary) << "facture";
    ASSERT_TRUE(pumpUntil([&] { return form->jobTable.rowCount() == 1; }));
    EXPECT_EQ(form->jobTable.cell(colFileName, 0), L"00012.spl");

    // What the grid shows of the row: the date, and nothing yet in the invoice columns.
    wchar_t date[64] = {};
    LVITEMW item{};
    item.pszText = date;
    item.cchTextMax = 64;
    SendMessageW(form->ngListJobs.hwnd(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(date, L"07/12/2026 14:05:09");
    EXPECT_TRUE(form->Timer1.enabled());

    const std::vector<std::string> events = itemsOf(form->lbEvents);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "07/12/2026 14:05:09 - ADDED 00012.spl");

    clock.set({2026, 12, 7, 14, 6, 0, 0});
    std::ofstream(spool + "\\00013.SPL", std::ios::binary) << "facture";
    ASSERT_TRUE(pumpUntil([&] { return form->jobTable.rowCount() == 2; }));
    EXPECT_EQ(form->jobTable.cell(colFileName, 1), L"00013.spl");
    EXPECT_EQ(SendMessageW(form->ngListJobs.hwnd(), LVM_GETITEMCOUNT, 0, 0), 2);
    ASSERT_TRUE(pumpUntil([&] {
        return form->lbEvents.count() > 0 &&
               form->lbEvents.item(0).rfind("07/12/2026 14:06:00 - ", 0) == 0;
    }));

    form->destroy();
    EXPECT_FALSE(form->watcher.running());
}

TEST_F(MainFormTest, AMissingSpoolFolderIsReportedAndStartUpGoesOn) {
    const std::string missing = temp.file("missing");
    writeSettings("DossierSpouleur=" + missing + "\r\n");
    const auto form = open();

    ASSERT_EQ(boxes.boxes.size(), 1u);
    const auto& box = boxes.boxes[0];
    EXPECT_TRUE(box.text == systemErrorText(ERROR_FILE_NOT_FOUND) ||
                box.text == systemErrorText(ERROR_PATH_NOT_FOUND))
        << box.text;
    EXPECT_EQ(box.title, "Quorva");
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(form->watcher.running());
    EXPECT_EQ(form->lbPath.text(), missing);
    // The steps after the watcher's start still ran.
    EXPECT_EQ(form->ngListJobs.popupMenu(), &form->PopupListJobs);

    form->destroy(); // nothing to stop
    EXPECT_EQ(form->hwnd(), nullptr);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(MainFormTest, AProxyErrorEndsStartUpButTheWindowOpens) {
    registry.key(RegistryRoot::CurrentUser, kInternetSettingsKey).values["ProxyServer"] =
        RegistryValue{RegistryType::String, "proxy.local:3128", 0, false};
    const auto form = open();

    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Echec à l'obtention des données pour 'ProxyEnable'.");
    EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
    EXPECT_TRUE(IsWindow(form->hwnd()));
    // Steps 1 to 4 ran, the later ones did not.
    EXPECT_EQ(form->nSite.text(), "VERNO");
    EXPECT_EQ(GetWindowLongPtrW(form->hwnd(), GWL_STYLE) & WS_MAXIMIZEBOX, 0);
    EXPECT_FALSE(form->watcher.running());
    EXPECT_EQ(form->ngListJobs.popupMenu(), nullptr);
}

TEST_F(MainFormTest, AnEnabledProxyIsKeptForTheHttpClient) {
    auto& values = registry.key(RegistryRoot::CurrentUser, kInternetSettingsKey).values;
    values["ProxyServer"] = RegistryValue{RegistryType::String, "proxy.local:3128", 0, false};
    values["ProxyEnable"] = RegistryValue{RegistryType::Dword, "", 1, false};
    const auto form = open();
    EXPECT_EQ(form->HttpClient1.proxyServer(), "proxy.local");
    EXPECT_EQ(form->HttpClient1.proxyPort(), 3128);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainFormTest, LeavingAnEditWritesOnlyAChange) {
    const auto form = openOnSpool();
    form->show(SW_SHOW);
    SetForegroundWindow(form->hwnd());

    leave(form->nURL, form->nSite); // unchanged
    EXPECT_EQ(contentOf(settingsFile()).find("NomURL"), std::string::npos);

    form->nSite.setText("Verno");
    leave(form->nSite, form->nURL);
    EXPECT_EQ(form->siteName(), "Verno");
    EXPECT_NE(contentOf(settingsFile()).find("NomSite=Verno"), std::string::npos);

    // The spool folder: lbPath follows at once, the watcher keeps its folder.
    const std::string other = temp.file("other");
    form->nSpoolFolder.setText(other);
    leave(form->nSpoolFolder, form->nSite);
    EXPECT_EQ(form->spoolFolder(), other);
    EXPECT_EQ(form->lbPath.text(), other);
    EXPECT_EQ(form->watcher.folder(), spool);
    EXPECT_NE(contentOf(settingsFile()).find("DossierSpouleur=" + other), std::string::npos);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainFormTest, ASettingsFileThatCannotBeWrittenIsReported) {
    // A file where the settings folder should be: reads give defaults, writes fail.
    std::ofstream(appData + "\\Zentor", std::ios::binary) << "x";
    const auto form = open();
    form->show(SW_SHOW);
    SetForegroundWindow(form->hwnd());
    ASSERT_TRUE(boxes.boxes.empty());

    form->nCardPrinter.setText("Evolis Primacy");
    leave(form->nCardPrinter, form->nURL);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Impossible d'écrire dans " + settingsFile() + ".");
    EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
    EXPECT_EQ(form->cardPrinterName(), "Evolis Primacy");

    leave(form->nCardPrinter, form->nURL); // no change now: no write, no box
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

} // namespace
} // namespace quorva
