// Card printing against Wine's spooler and its PostScript driver, on printers the suite installs
// (see support/wine_printer.h): each test reads what the printed page shows.

#include "card/card_drawing.h"
#include "card/card_picture.h"
#include "card/card_print.h"
#include "platform/error.h"

#include "card_test_images.h"
#include "support/wine_printer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace quorva {
namespace {

using testkit::addPostScriptDriver;
using testkit::addPrinter;
using testkit::at;
using testkit::cardPicture;
using testkit::defaultPrinter;
using testkit::deletePrinter;
using testkit::deletePrinterDriver;
using testkit::driverFilePath;
using testkit::isLabelBlue;
using testkit::kFlatCardPlaces;
using testkit::kRenderDpi;
using testkit::PrinterOutput;
using testkit::printerOutputFolder;
using testkit::removeDefaultPrinter;
using testkit::Rgb;
using testkit::similar;
using testkit::underWine;
using testkit::writeGenericPpd;

const char* const kCardPrinter = "Quorva Cartes Test";
const char* const kDefaultPrinter = "Quorva Defaut Test";
const char* const kLongPrinter = "Quorva imprimante des cartes au nom long"; // 40 characters
const char* const kBrokenPrinter = "Quorva Panne Test";    // its port refuses every job
const char* const kNoDriverPrinter = "Quorva Sans Pilote"; // its driver lacks its PPD
const char* const kDriver = "Quorva Test PostScript";
const char* const kDriverWithoutPpd = "Quorva Test PostScript sans PPD";
const char* const kPpd = "quorva-card-test.ppd";
const char* const kAllPrinters[] = {kCardPrinter, kDefaultPrinter, kLongPrinter, kBrokenPrinter,
                                    kNoDriverPrinter};

// Where the printable area of a landscape page of the test printers lies, in device pixels.
struct PageGeometry {
    int offsetX, offsetY, width, height, paperWidth, paperHeight, dpiX, dpiY;
};

PageGeometry landscapeGeometry(const std::string& printer) {
    std::string device = printer;
    HANDLE handle = nullptr;
    OpenPrinterA(device.data(), &handle, nullptr);
    const LONG size = DocumentPropertiesA(nullptr, handle, device.data(), nullptr, nullptr, 0);
    std::vector<BYTE> block(size_t(std::max<LONG>(size, sizeof(DEVMODEA))));
    auto* devmode = reinterpret_cast<DEVMODEA*>(block.data());
    DocumentPropertiesA(nullptr, handle, device.data(), devmode, nullptr, DM_OUT_BUFFER);
    ClosePrinter(handle);
    devmode->dmOrientation = DMORIENT_LANDSCAPE;
    devmode->dmFields |= DM_ORIENTATION;
    HDC dc = CreateDCA(nullptr, device.c_str(), nullptr, devmode);
    const PageGeometry geometry{
        GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY),
        GetDeviceCaps(dc, HORZRES),         GetDeviceCaps(dc, VERTRES),
        GetDeviceCaps(dc, PHYSICALWIDTH),   GetDeviceCaps(dc, PHYSICALHEIGHT),
        GetDeviceCaps(dc, LOGPIXELSX),      GetDeviceCaps(dc, LOGPIXELSY)};
    DeleteDC(dc);
    return geometry;
}

class CardPrint : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!underWine())
            return;
        previousDefault_ = defaultPrinter();
        folder_.create();
        writeGenericPpd(driverFilePath(kPpd));
        addPostScriptDriver(kDriver, kPpd);
        addPostScriptDriver(kDriverWithoutPpd, "quorva-card-test-absent.ppd");

        for (const char* name : kAllPrinters)
            deletePrinter(name); // left over by an interrupted run
        for (const char* name : {kCardPrinter, kDefaultPrinter, kLongPrinter})
            addPrinter(name, output(name).port(), kDriver);
        // The job is read, then refused.
        addPrinter(kBrokenPrinter, "|cat > /dev/null; exit 3", kDriver);
        addPrinter(kNoDriverPrinter, output(kNoDriverPrinter).port(), kDriverWithoutPpd);
        ASSERT_TRUE(SetDefaultPrinterA(kDefaultPrinter));
    }

    static void TearDownTestSuite() {
        if (!underWine())
            return;
        for (const char* name : kAllPrinters)
            deletePrinter(name);
        for (const char* driver : {kDriver, kDriverWithoutPpd})
            deletePrinterDriver(driver);
        DeleteFileA(driverFilePath(kPpd).c_str());
        for (const char* name : kAllPrinters)
            output(name).clear();
        folder_.remove();
        if (!previousDefault_.empty())
            SetDefaultPrinterA(previousDefault_.c_str());
    }

    void SetUp() override {
        if (!underWine())
            GTEST_SKIP() << "the test printers need Wine's spooler";
        SetDefaultPrinterA(kDefaultPrinter);
        for (const char* name : kAllPrinters)
            output(name).clear();
    }

    static PrinterOutput output(const std::string& printer) { return folder_.output(printer); }

    const Bitmap picture_ = loadCardPicture();
    const CardLabels labels_{"MÜLLER Hélène", "AB-123-CD", "VF1RJA00123456789", "11/03/2015"};

private:
    static inline std::string previousDefault_;
    static inline const printerOutputFolder folder_{"quorva-card-print"};
};

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST_F(CardPrint, FoundPrinterGetsTheCardOnOneLandscapePage) {
    CardPrinter printer;
    printer.print("QUORVA cartes TEST", labels_, picture_.get());

    EXPECT_EQ(printer.currentPrinter(), kCardPrinter);
    EXPECT_FALSE(output(kDefaultPrinter).printed());
    const PrinterOutput out = output(kCardPrinter);
    ASSERT_TRUE(out.printed());
    std::printf("card page PDF: %zu bytes\n", out.pdfSize());

    // The four texts, accents included (the PDF's text is UTF-8).
    const std::string text = out.text();
    for (const char* expected :
         {"MÃ\x9CLLER HÃ\xA9lÃ\xA8ne", "AB-123-CD", "VF1RJA00123456789", "11/03/2015"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in: " << text;

    const RgbImage page = out.page();
    const PageGeometry g = landscapeGeometry(kCardPrinter);
    std::printf("printable area %d x %d at (%d, %d) of %d x %d device pixels, %d dpi; page "
                "rendered %d x %d\n",
                g.width, g.height, g.offsetX, g.offsetY, g.paperWidth, g.paperHeight, g.dpiX,
                page.width, page.height);
    ASSERT_GT(page.width, page.height);
    EXPECT_NEAR(page.width, g.paperWidth * kRenderDpi / g.dpiX, 1);
    EXPECT_NEAR(page.height, g.paperHeight * kRenderDpi / g.dpiY, 1);

    // A point of the card area, where the stretched card puts it on the rendered page.
    const auto onPage = [&](double x, double y) {
        return at(page,
                  int((g.offsetX + (x + 0.5) * g.width / kCardAreaSize.cx) * kRenderDpi / g.dpiX),
                  int((g.offsetY + (y + 0.5) * g.height / kCardAreaSize.cy) * kRenderDpi / g.dpiY));
    };
    const RgbImage card = cardPicture();
    for (const auto& [x, y] : kFlatCardPlaces)
        EXPECT_TRUE(similar(onPage(x, y), at(card, x, y), 40)) << x << "," << y;
    // The picture reaches the corners of the printable area; the paper's margin stays white.
    EXPECT_TRUE(similar(onPage(3, 3), at(card, 3, 3), 40));
    EXPECT_TRUE(similar(onPage(1007, 3), at(card, 1007, 3), 40));
    const Rgb margin = at(page, g.offsetX * kRenderDpi / g.dpiX / 2, page.height / 2);
    EXPECT_TRUE(similar(margin, {255, 255, 255}, 5));

    // The labels' blue ink where each label starts (its first letters).
    for (const POINT p : {kCustomerAt, kChassisAt, kRegistrationAt, kValidityAt}) {
        int blue = 0;
        for (int y = p.y; y < p.y + 62; y += 2)
            for (int x = p.x; x < p.x + 120; x += 2)
                blue += isLabelBlue(onPage(x, y)) ? 1 : 0;
        EXPECT_GT(blue, 20) << p.x << "," << p.y;
    }
}

TEST_F(CardPrint, UnknownNameGoesToTheDefaultPrinter) {
    CardPrinter printer;
    printer.print("Imprimante absente", labels_, picture_.get());
    EXPECT_EQ(printer.currentPrinter(), kDefaultPrinter);
    EXPECT_TRUE(output(kDefaultPrinter).printed());
    EXPECT_FALSE(output(kCardPrinter).printed());
    EXPECT_NE(output(kDefaultPrinter).text().find("VF1RJA00123456789"), std::string::npos);
}

TEST_F(CardPrint, CardPrinterStaysCurrentWhenTheNameIsLaterNotFound) {
    CardPrinter printer;
    printer.print(kCardPrinter, labels_, picture_.get());
    ASSERT_TRUE(output(kCardPrinter).printed());
    output(kCardPrinter).clear();

    printer.print("Imprimante absente", {"DURAND Paul", "", "", ""}, picture_.get());
    EXPECT_TRUE(output(kCardPrinter).printed());
    EXPECT_FALSE(output(kDefaultPrinter).printed());
    EXPECT_NE(output(kCardPrinter).text().find("DURAND Paul"), std::string::npos);
}

TEST_F(CardPrint, LongPrinterNameIsCutInTheSettingsOnly) {
    CardPrinter printer;
    printer.print(kLongPrinter, labels_, picture_.get());
    EXPECT_EQ(printer.currentPrinter(), kLongPrinter);
    EXPECT_EQ(printer.settingsDeviceName(), std::string(kLongPrinter).substr(0, 31));
    EXPECT_TRUE(output(kLongPrinter).printed());
    EXPECT_FALSE(output(kDefaultPrinter).printed());
}

TEST_F(CardPrint, SelectionByIndex) {
    const std::vector<std::string> names = systemPrinterNames();
    const auto card = std::find(names.begin(), names.end(), kCardPrinter);
    ASSERT_NE(card, names.end());

    CardPrinter printer;
    printer.selectPrinterByIndex(int(card - names.begin()));
    EXPECT_EQ(printer.currentPrinter(), kCardPrinter);
    // The settings block came from the default printer's driver and now names the card printer.
    EXPECT_EQ(printer.settingsDeviceName(), kCardPrinter);

    for (const int index : {-1, int(names.size()), int(names.size()) + 5})
        EXPECT_EQ(errorOf([&] { printer.selectPrinterByIndex(index); }),
                  "Indice imprimante hors limites")
            << index;
    EXPECT_EQ(printer.currentPrinter(), kCardPrinter);
}

TEST_F(CardPrint, NoDefaultPrinterAtFirstUseIsAnError) {
    removeDefaultPrinter();
    ASSERT_EQ(defaultPrinter(), "");
    const std::string expected = "Aucune imprimante par défaut sélectionnée";
    // Whether the card printer is found or not.
    for (const char* name : {kCardPrinter, "Imprimante absente"}) {
        CardPrinter printer;
        EXPECT_EQ(errorOf([&] { printer.print(name, labels_, picture_.get()); }), expected) << name;
    }
    CardPrinter printer;
    EXPECT_EQ(errorOf([&] { printer.selectPrinterByIndex(0); }), expected);
    EXPECT_FALSE(output(kCardPrinter).printed());
}

// A message-only window that counts the WM_APP messages it is given.
class MessageCounter {
public:
    MessageCounter() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM w, LPARAM l) -> LRESULT {
            if (message == WM_APP)
                ++*reinterpret_cast<int*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            return DefWindowProcW(window, message, w, l);
        };
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QuorvaCardPrintTestCounter";
        RegisterClassW(&windowClass);
        window_ = CreateWindowW(windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count_));
    }
    ~MessageCounter() { DestroyWindow(window_); }
    HWND window() const { return window_; }
    int count() const { return count_; }

private:
    HWND window_ = nullptr;
    int count_ = 0;
};

TEST_F(CardPrint, WindowMessagesAreHandledWhileThePageIsSpooled) {
    MessageCounter counter;
    ASSERT_NE(counter.window(), nullptr);
    ASSERT_TRUE(PostMessageW(counter.window(), WM_APP, 0, 0));
    CardPrinter printer;
    printer.print(kCardPrinter, labels_, picture_.get());
    EXPECT_EQ(counter.count(), 1);
}

TEST_F(CardPrint, PrinterFailuresAreErrors) {
    const struct {
        const char* defaultPrinter;
        const char* cardPrinter;
        const char* expected;
    } cases[] = {
        // No settings block from the default printer's driver, and the card printer not found.
        {kNoDriverPrinter, "Imprimante absente",
         "Opération non supportée par l'imprimante sélectionnée"},
        // The card printer's driver cannot make a device context.
        {kDefaultPrinter, kNoDriverPrinter, "Imprimante sélectionnée incorrecte"},
        // The job reaches the spooler and the printer refuses it: not reported as printed.
        {kDefaultPrinter, kBrokenPrinter, "Échec de l'impression"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cardPrinter);
        ASSERT_TRUE(SetDefaultPrinterA(c.defaultPrinter));
        CardPrinter printer;
        EXPECT_EQ(errorOf([&] { printer.print(c.cardPrinter, labels_, picture_.get()); }),
                  c.expected);
        for (const char* name : {kDefaultPrinter, kNoDriverPrinter})
            EXPECT_FALSE(output(name).printed()) << name;
    }
}

TEST_F(CardPrint, EmptyNamePrintsNothing) {
    removeDefaultPrinter(); // would be an error, were the printer object used
    CardPrinter printer;
    EXPECT_NO_THROW(printer.print("", labels_, picture_.get()));
    EXPECT_EQ(printer.currentPrinter(), "");
}

} // namespace
} // namespace quorva
