// The main window's loyalty card and invoice commands under Wine: the selected job moved by
// mouse and keyboard messages to the job grid, the card filled by a click, the PDF command's
// browser start, card printing on printers the suite installs, and the card tab as the screen
// shows it.

#include "card/card_test_images.h"
#include "main_window_fixture.h"
#include "platform/date_format.h"
#include "support/window_capture.h"
#include "support/wine_printer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <ostream>
#include <utility>
#include <vector>

namespace quorva {
namespace {

// One job: name, registration, chassis, document text, report identifier.
struct JobRow {
    const wchar_t* customer;
    const wchar_t* registration;
    const wchar_t* chassis;
    const wchar_t* document;
    const char* idReport;
};

const JobRow kMuller{L"MÜLLER Hélène", L"AB-123-CD", L"VF1RJA00123456789",
                     L"FACTURE N° 12345 du 12/03/2014", "123"};
const JobRow kDurand{L"DURAND Paul", L"EF-456-GH", L"WVWZZZ1JZ3W000001", L"BON DE LIVRAISON", ""};

// What hovering leaves: the selected job, the grid's focused row and the two popup items.
struct SelectionState {
    JobId selected;
    int focusedRow;
    bool loadPdf;
    bool printCard;

    bool operator==(const SelectionState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SelectionState& state) {
    return out << "selected " << state.selected << ", focused row " << state.focusedRow << ", pdf "
               << state.loadPdf << ", card " << state.printCard;
}

class CardFormTest : public MainWindowFixture {
protected:
    // Dates as the prefix's regional settings write them.
    CardFormTest() { windowLocale = &systemLocale; }

    // Settled jobs: their ids and rows are their places in `rows`.
    static void fill(MainWindow& form, std::initializer_list<JobRow> rows) {
        for (const JobRow& row : rows) {
            Job job;
            job.steadyReadings = kDoneReadings;
            job.customer = row.customer;
            job.registration = row.registration;
            job.chassis = row.chassis;
            job.document = row.document;
            job.reportId = row.idReport;
            form.onServiceMessage(JobUpdate{form.jobs().size(), std::move(job), false});
        }
    }

    static HWND grid(MainWindow& form) { return form.jobsTab().grid().hwnd(); }

    // Points of the grid's client area.
    static RECT rowRect(MainWindow& form, int row) {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        SendMessageW(grid(form), LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    static POINT overRow(MainWindow& form, int row) {
        const RECT rect = rowRect(form, row);
        return {rect.left + 30, (rect.top + rect.bottom) / 2};
    }
    static POINT overHeader(MainWindow& form) {
        RECT header{};
        GetClientRect(ListView_GetHeader(grid(form)), &header);
        return {30, header.bottom / 2};
    }
    static POINT belowLastRow(MainWindow& form) {
        return {30, rowRect(form, form.jobs().size() - 1).bottom + 20};
    }

    static void moveTo(MainWindow& form, POINT point) {
        SendMessageW(grid(form), WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
    }
    // A left click as the mouse gives it: the list view reports it to the window.
    static void click(MainWindow& form, POINT point) {
        const LPARAM at = MAKELPARAM(point.x, point.y);
        PostMessageW(grid(form), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(grid(form), WM_LBUTTONUP, 0, at);
        pumpFor(100);
    }

    static SelectionState selectionState(MainWindow& form) {
        const JobsTab& jobs = form.jobsTab();
        return {form.jobsTab().grid().selectedJob(),
                static_cast<int>(SendMessageW(grid(form), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                              LVNI_FOCUSED)),
                jobs.canOpenPdf(), jobs.canPrintCard()};
    }

    // The short date text of a date under the window's locale.
    std::string shortDate(const DateTime& date) const {
        return formatPicture(date, systemLocale.shortDateFormat());
    }
    // The validity for a document dated "12/03/2014", which the regional settings read day
    // first or month first.
    std::string validityOfTheMullerInvoice() const {
        const std::string format = systemLocale.shortDateFormat();
        const auto first = format.find_first_of("dDmMyYeE");
        EXPECT_NE(first, std::string::npos) << format;
        const bool dayFirst =
            first != std::string::npos && (format[first] == 'd' || format[first] == 'D');
        return shortDate(dayFirst ? DateTime{2015, 3, 11} : DateTime{2015, 12, 2});
    }

    SystemLocale systemLocale;
};

TEST_F(CardFormTest, HoverFollowsTheRowsAndSetsTheCommands) {
    const auto form = openOnSpool("NomImprimante=Evolis Primacy\r\n");
    fill(*form, {
                    {L"A", L"", L"", L"FACTURE du 01/02/2024", "7"}, // document and report
                    {L"B", L"", L"", L"FACTURE du 01/02/2024", ""},  // document only
                    {L"C", L"", L"", L"", "8"},                      // report only
                    {L"D", L"", L"", L"", ""},                       // neither
                });

    // Before the pointer has been over a row, no job is selected.
    moveTo(*form, overHeader(*form));
    EXPECT_EQ(selectionState(*form), (SelectionState{kNoJob, -1, false, false}));

    enum Where { Row0, Row1, Row2, Row3, Header, Below };
    const struct {
        Where where;
        SelectionState expected;
    } steps[] = {
        {Row0, {0, 0, true, true}},
        {Row1, {1, 1, false, true}},
        {Row2, {2, 2, true, false}},
        {Row3, {3, 3, false, false}},
        {Row0, {0, 0, true, true}},
        // Off the rows: both commands off, the highlight stays.
        {Header, {0, 0, false, false}},
        // Back on the same row: the job did not change, so neither do the commands.
        {Row0, {0, 0, false, false}},
        {Row1, {1, 1, false, true}},
        {Below, {1, 1, false, false}},
        {Row1, {1, 1, false, false}},
        {Row2, {2, 2, true, false}},
    };
    int step = 0;
    for (const auto& [where, expected] : steps) {
        SCOPED_TRACE("step " + std::to_string(step++));
        moveTo(*form, where == Header  ? overHeader(*form)
                      : where == Below ? belowLastRow(*form)
                                       : overRow(*form, where));
        EXPECT_EQ(selectionState(*form), expected);
    }
    // Hovering never fills the card.
    EXPECT_EQ(form->cardTab().labels(), CardLabels{});
    EXPECT_TRUE(boxes.boxes.empty());
}

// Sends the grid the popup menu's message as the menu key and Shift+F10 do, and closes the menu
// as soon as it is on show; returns whether it was.
bool popUpFromKeyboard(HWND grid) {
    static int shown;
    shown = 0;
    // Runs inside the menu's own message loop.
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        ++shown;
        EndMenu();
    });
    SendMessageW(grid, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(grid), -1);
    KillTimer(nullptr, timer);
    return shown > 0;
}

TEST_F(CardFormTest, TheMenuKeyActsOnTheJobTheKeyboardFocusIsOn) {
    registry.key(RegistryRoot::ClassesRoot, "htmlfile\\shell\\open\\command").values[""] =
        RegistryValue{RegistryType::String, "browser.exe \"%1\"", 0, false};
    const auto form = openOnSpool("NomImprimante=Evolis Primacy\r\n");
    fill(*form, {kMuller, {L"ROUX Anne", L"IJ-789-KL", L"", L"", "8"}});
    form->show(SW_SHOW);
    moveTo(*form, overRow(*form, 0));
    SetFocus(grid(*form));
    SendMessageW(grid(*form), WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_TRUE(popUpFromKeyboard(grid(*form)));

    EXPECT_EQ(selectionState(*form), (SelectionState{1, 1, true, false}));
    EXPECT_EQ(form->cardTab().labels().customer, "ROUX Anne");
    form->jobsTab().openPdf();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_NE(shell.calls[0].parameters.find("idDocument=8&"), std::string::npos)
        << shell.calls[0].parameters;
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CardFormTest, OneRowLooksSelectedThroughClicksSortsAndHovers) {
    const auto form = openOnSpool();
    fill(*form, {{L"C", L"", L"", L"", ""}, {L"A", L"", L"", L"", ""}, {L"B", L"", L"", L"", ""}});
    const JobGrid& jobGrid = form->jobsTab().grid();
    // Rows that look selected: the selected job's or the list's own selection.
    const auto looksSelected = [&] {
        std::vector<int> rows;
        for (int row = 0; row < jobGrid.order().rowCount(); ++row) {
            const auto state = SendMessageW(jobGrid.hwnd(), LVM_GETITEMSTATE,
                                            static_cast<WPARAM>(row), LVIS_SELECTED);
            if (jobGrid.order().jobAt(row) == jobGrid.selectedJob() || (state & LVIS_SELECTED) != 0)
                rows.push_back(row);
        }
        return rows;
    };
    moveTo(*form, overRow(*form, 0));
    click(*form, overRow(*form, 0));
    moveTo(*form, overRow(*form, 2));
    EXPECT_EQ(looksSelected(), std::vector<int>{2});

    // Sorting by name puts "B", the hovered row, second.
    RECT customerHeader{};
    const HWND header = ListView_GetHeader(jobGrid.hwnd());
    SendMessageW(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&customerHeader));
    const LPARAM at = MAKELPARAM((customerHeader.left + customerHeader.right) / 2,
                                 (customerHeader.top + customerHeader.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
    ASSERT_EQ(jobGrid.order().jobAt(1), 2);
    EXPECT_EQ(jobGrid.selectedJob(), 2);
    EXPECT_EQ(looksSelected(), std::vector<int>{1});

    moveTo(*form, overRow(*form, 0));
    EXPECT_EQ(looksSelected(), std::vector<int>{0});
}

TEST_F(CardFormTest, ThePrintCommandNeedsACardPrinterSetting) {
    const auto form = openOnSpool();
    ASSERT_EQ(form->setting(Setting::CardPrinter), "");
    fill(*form, {kMuller, kDurand, kMuller});
    const JobsTab& jobs = form->jobsTab();
    for (const int row : {0, 1, 2}) {
        moveTo(*form, overRow(*form, row));
        EXPECT_EQ(jobs.canPrintCard(), false) << row;
        EXPECT_EQ(jobs.canOpenPdf(), row != 1) << row;
    }
    // Once a card printer is entered, the next row offers the card.
    enter(*form, Setting::CardPrinter, "Evolis Primacy");
    moveTo(*form, overRow(*form, 1));
    EXPECT_TRUE(jobs.canPrintCard());

    // Without a card printer the printing handler touches nothing.
    enter(*form, Setting::CardPrinter, "");
    form->cardTab().printButton().onClick();
    EXPECT_EQ(form->tabs().activePage(), 0);
    EXPECT_EQ(form->cardTab().printer().currentPrinter(), "");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CardFormTest, AClickFillsTheCardFromTheClickedRow) {
    const auto form = openOnSpool();
    fill(
        *form,
        {kMuller, kDurand, {L"ROUX Anne", L"IJ-789-KL", L"", L"FACTURE du 12/03/2014 page 2", ""}});
    std::printf("short date format \"%s\", long time format \"%s\"\n",
                systemLocale.shortDateFormat().c_str(), systemLocale.longTimeFormat().c_str());

    CardTab& card = form->cardTab();
    click(*form, overRow(*form, 0));
    EXPECT_EQ(card.labels(), (CardLabels{"MÜLLER Hélène", "AB-123-CD", "VF1RJA00123456789",
                                         validityOfTheMullerInvoice()}));

    // Hovering another row leaves the card as it is.
    moveTo(*form, overRow(*form, 1));
    EXPECT_EQ(card.customerLabel().text(), "MÜLLER Hélène");

    // No " du " in the document: no validity.
    click(*form, overRow(*form, 1));
    EXPECT_EQ(card.labels(), (CardLabels{"DURAND Paul", "EF-456-GH", "WVWZZZ1JZ3W000001", ""}));
    EXPECT_EQ(card.validityLabel().bounds().width, 0); // an empty label hides none of the picture

    // Text after the date: not a date, so one year from now, with the time.
    click(*form, overRow(*form, 2));
    const DateTime validUntil{2027, 12, 6, 14, 5, 9};
    EXPECT_EQ(card.labels(),
              (CardLabels{"ROUX Anne", "IJ-789-KL", "",
                          shortDate(validUntil) + " " +
                              formatPicture(validUntil, systemLocale.longTimeFormat())}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CardFormTest, ThePdfCommandOpensTheHoverRowsInvoiceInTheBrowser) {
    registry.key(RegistryRoot::ClassesRoot, "htmlfile\\shell\\open\\command").values[""] =
        RegistryValue{RegistryType::String, "\"C:\\Browser\\browser.exe\" -osint -url \"%1\"", 0,
                      false};
    const auto form = openOnSpool();
    fill(*form, {kMuller, {L"B", L"", L"", L"", "4 5&6#7"}});
    JobsTab& jobs = form->jobsTab();

    // Before the pointer has been over a row, nothing opens.
    jobs.openPdf();
    EXPECT_TRUE(shell.calls.empty());

    // A click on one row, the command on the row under the pointer.
    click(*form, overRow(*form, 0));
    moveTo(*form, overRow(*form, 1));
    ASSERT_TRUE(jobs.canOpenPdf());
    jobs.openPdf();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, "C:\\Browser\\browser.exe");
    EXPECT_EQ(shell.calls[0].parameters,
              "\"http://127.0.0.1:8080/KelbBin/Kelb.dll/"
              "ReportPDF?rptSelect=idDocument=4%205%266%237&rptName=Facture\"");
    EXPECT_EQ(shell.calls[0].show, SW_SHOW);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CardFormTest, TheHiddenPrintButton) {
    const auto form = openOnSpool();
    Button& button = form->cardTab().printButton();
    EXPECT_EQ(button.wideText(), L"Impression de la carte");
    EXPECT_FALSE(button.visible());

    // A row that loses the grid's selection to another row enables it.
    fill(*form, {kMuller, kDurand});
    click(*form, overRow(*form, 0));
    button.setEnabled(false);
    click(*form, overRow(*form, 0));
    EXPECT_FALSE(button.enabled());
    click(*form, overRow(*form, 1));
    EXPECT_TRUE(button.enabled());
    EXPECT_FALSE(button.visible());
}

// ---- The card tab on the screen

// A picture file of the card tab, to look at when the test fails: binary PPM.
void savePpm(const RgbImage& image, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << ' ' << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.pixels.data()),
              static_cast<std::streamsize>(image.pixels.size()));
}

TEST_F(CardFormTest, TheCardTabShowsTheClickedRowOverThePicture) {
    const auto form = openOnSpool();
    fill(*form, {kMuller});
    form->show(SW_SHOW);
    click(*form, overRow(*form, 0));
    CardTab& cardTab = form->cardTab();
    form->tabs().setActivePage(cardTab.page());
    RedrawWindow(form->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pumpFor(200);

    const RgbImage shot = testkit::captureWindow(cardTab.page().hwnd());
    if (const char* path = std::getenv("QUORVA_CARD_SCREENSHOT"))
        savePpm(shot, path);

    // Each label: at its place, blue text on white, as wide as its text.
    const struct {
        const Label& label;
        POINT at;
    } labels[] = {{cardTab.customerLabel(), {240, 435}},
                  {cardTab.chassisLabel(), {240, 503}},
                  {cardTab.registrationLabel(), {240, 563}},
                  {cardTab.validityLabel(), {700, 563}}};
    for (const auto& [label, at] : labels) {
        const Bounds bounds = label.bounds();
        SCOPED_TRACE(label.text());
        EXPECT_EQ(bounds.x, at.x);
        EXPECT_EQ(bounds.y, at.y);
        ASSERT_GT(bounds.width, 50);
        ASSERT_GT(bounds.height, 40);
        int blue = 0;
        int white = 0;
        int other = 0;
        for (int y = bounds.y; y < bounds.y + bounds.height; ++y)
            for (int x = bounds.x; x < bounds.x + bounds.width; ++x) {
                const testkit::Rgb c = testkit::at(shot, x, y);
                if (c.red == 0 && c.green == 0 && c.blue == 160)
                    ++blue;
                else if (testkit::similar(c, {255, 255, 255}, 0))
                    ++white;
                else if (!(c.red == c.green && c.blue >= 160)) // anti-aliased blue on white
                    ++other;
            }
        const int area = bounds.width * bounds.height;
        EXPECT_GT(blue, area / 20);
        EXPECT_GT(white, area / 2);
        EXPECT_EQ(other, 0);
    }

    // The picture around the labels, unscaled from the picture area's corner (5, 5), and near its
    // bottom edge.
    const RgbImage card = testkit::cardPicture();
    std::vector<std::pair<int, int>> places(std::begin(testkit::kFlatCardPlaces),
                                            std::end(testkit::kFlatCardPlaces));
    places.insert(places.end(), {{100, 600}, {1010, 633}});
    for (const auto& [x, y] : places)
        EXPECT_TRUE(testkit::similar(testkit::at(shot, 5 + x, 5 + y), testkit::at(card, x, y), 0))
            << x << "," << y;
    EXPECT_TRUE(boxes.boxes.empty());
}

// ---- Printing through the window, on printers of its own

const char* const kCardPrinter = "Quorva Fenetre Cartes";
const char* const kDefaultPrinter = "Quorva Fenetre Defaut";
const char* const kDriver = "Quorva Fenetre PostScript";
const char* const kPpd = "quorva-form-card-test.ppd";

class CardPrintFormTest : public CardFormTest {
protected:
    static void SetUpTestSuite() {
        if (!testkit::underWine())
            return;
        previousDefault_ = testkit::defaultPrinter();
        folder_.create();
        testkit::writeGenericPpd(testkit::driverFilePath(kPpd));
        testkit::addPostScriptDriver(kDriver, kPpd);
        for (const char* name : {kCardPrinter, kDefaultPrinter}) {
            testkit::deletePrinter(name); // left over by an interrupted run
            testkit::addPrinter(name, folder_.output(name).port(), kDriver);
        }
    }

    static void TearDownTestSuite() {
        if (!testkit::underWine())
            return;
        for (const char* name : {kCardPrinter, kDefaultPrinter}) {
            testkit::deletePrinter(name);
            folder_.output(name).clear();
        }
        testkit::deletePrinterDriver(kDriver);
        DeleteFileA(testkit::driverFilePath(kPpd).c_str());
        folder_.remove();
        if (!previousDefault_.empty())
            SetDefaultPrinterA(previousDefault_.c_str());
    }

    void SetUp() override {
        if (!testkit::underWine())
            GTEST_SKIP() << "the test printers need Wine's spooler";
        ASSERT_TRUE(SetDefaultPrinterA(kDefaultPrinter));
        for (const char* name : {kCardPrinter, kDefaultPrinter})
            folder_.output(name).clear();
    }

    static testkit::PrinterOutput output(const char* printer) { return folder_.output(printer); }

private:
    static inline std::string previousDefault_;
    static inline const testkit::printerOutputFolder folder_{"quorva-form-card-print"};
};

TEST_F(CardPrintFormTest, PrintsTheHoverRowsCardAndShowsTheJobListAgain) {
    const auto form = openOnSpool("NomImprimante=QUORVA fenetre CARTES\r\n");
    fill(*form, {kDurand, kMuller});
    form->show(SW_SHOW);

    // The card shows the clicked row until the command fills it for the row under the pointer.
    click(*form, overRow(*form, 0));
    ASSERT_EQ(form->cardTab().customerLabel().text(), "DURAND Paul");
    moveTo(*form, overRow(*form, 1));
    ASSERT_TRUE(form->jobsTab().canPrintCard());
    form->jobsTab().printCard();

    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(form->cardTab().printer().currentPrinter(), kCardPrinter);
    EXPECT_FALSE(output(kDefaultPrinter).printed());
    const testkit::PrinterOutput out = output(kCardPrinter);
    ASSERT_TRUE(out.printed());
    const std::string text = out.text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 1) << "one page";
    // The PDF's text is UTF-8.
    for (const std::string& expected :
         {std::string("MÃ\x9CLLER HÃ\xA9lÃ\xA8ne"), std::string("AB-123-CD"),
          std::string("VF1RJA00123456789"), validityOfTheMullerInvoice()})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in: " << text;
    EXPECT_EQ(text.find("DURAND"), std::string::npos);
    const RgbImage page = out.page();
    EXPECT_GT(page.width, page.height) << "landscape";

    EXPECT_EQ(form->tabs().activePage(), 0);
    EXPECT_EQ(form->cardTab().customerLabel().text(), "MÜLLER Hélène");
}

TEST_F(CardPrintFormTest, APrinterErrorIsShownAndTheCardTabStays) {
    testkit::removeDefaultPrinter();
    const auto form = openOnSpool("NomImprimante=Imprimante absente\r\n");
    fill(*form, {kMuller});
    moveTo(*form, overRow(*form, 0));
    ASSERT_TRUE(form->jobsTab().canPrintCard());
    // The popup menu runs its item inside the window's error boundary.
    form->guard([&] { form->jobsTab().printCard(); });

    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Aucune imprimante par défaut sélectionnée.");
    EXPECT_EQ(boxes.boxes[0].title, "Quorva");
    EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
    EXPECT_EQ(form->tabs().activePage(), 1);
    EXPECT_EQ(form->cardTab().customerLabel().text(), "MÜLLER Hélène");
    for (const char* name : {kCardPrinter, kDefaultPrinter})
        EXPECT_FALSE(output(name).printed()) << name;
}

} // namespace
} // namespace quorva
