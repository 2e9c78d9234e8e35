// Card printing against Wine's spooler and its PostScript driver. The suite installs its own
// printers; each one's port is a shell pipeline that turns the job into a PDF, renders that at
// 50 dots per inch (PPM) and extracts its text, so that a test reads what the page shows. The
// spooler's EndDoc waits for the pipeline, so the files are complete once print returns.

#include "card/card_drawing.h"
#include "card/card_picture.h"
#include "card/card_print.h"
#include "platform/error.h"

#include "card_test_images.h"

#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace quorva {
namespace {

using testing::at;
using testing::cardPicture;
using testing::isLabelBlue;
using testing::readFile;
using testing::Rgb;
using testing::similar;

const char* const kCardPrinter = "Quorva Cartes Test";
const char* const kDefaultPrinter = "Quorva Defaut Test";
const char* const kLongPrinter = "Quorva imprimante des cartes au nom long"; // 40 characters
const char* const kBrokenPrinter = "Quorva Panne Test";    // its port refuses every job
const char* const kNoDriverPrinter = "Quorva Sans Pilote"; // its driver lacks its PPD
const char* const kDriver = "Quorva Test PostScript";
const char* const kDriverWithoutPpd = "Quorva Test PostScript sans PPD";
const char* const kPpd = "quorva-card-test.ppd";
const char* const kWindowsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char* const kAllPrinters[] = {kCardPrinter, kDefaultPrinter, kLongPrinter, kBrokenPrinter,
                                    kNoDriverPrinter};
constexpr int kRenderDpi = 50;

bool underWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string driverDirectory() {
    char directory[MAX_PATH] = {};
    DWORD size = sizeof directory;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(directory), size,
                               &size);
    return directory;
}

// Wine keeps a generic PostScript printer description in its spooler library.
void writeGenericPpd(const std::string& path) {
    HMODULE spooler = GetModuleHandleA("winspool.drv");
    HRSRC found = FindResourceA(spooler, MAKEINTRESOURCEA(1), "PPDFILE");
    ASSERT_NE(found, nullptr);
    const void* data = LockResource(LoadResource(spooler, found));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(data, 1, SizeofResource(spooler, found), file);
    std::fclose(file);
}

void addDriver(const char* name, const char* ppd) {
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<char*>(name);
    driver.pDriverPath = const_cast<char*>("wineps.drv");
    driver.pDataFile = const_cast<char*>(ppd);
    driver.pConfigFile = const_cast<char*>("wineps.drv");
    ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&driver))) << GetLastError();
}

void addPrinter(const std::string& name, const std::string& port, const char* driver = kDriver) {
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(name.c_str());
    info.pPortName = const_cast<char*>(port.c_str());
    info.pDriverName = const_cast<char*>(driver);
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    ASSERT_NE(printer, nullptr) << name << ": " << GetLastError();
    ClosePrinter(printer);
}

void deletePrinter(const std::string& name) {
    HANDLE printer = nullptr;
    std::string copy = name;
    if (OpenPrinterA(copy.data(), &printer, nullptr)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
}

std::string defaultPrinter() {
    char name[512] = {};
    DWORD size = sizeof name;
    return GetDefaultPrinterA(name, &size) ? name : "";
}

void removeDefaultPrinter() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kWindowsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Device");
        RegCloseKey(key);
    }
}

// What one printer's port produced for the last page.
struct Output {
    std::string unixBase; // for the pipeline
    std::string base;     // for this process

    std::string port() const {
        const std::string pdf = unixBase + ".pdf";
        return "|ps2pdf - " + pdf + " && pdftoppm -r " + std::to_string(kRenderDpi) +
               " -singlefile " + pdf + " " + unixBase + " && pdftotext " + pdf + " " + unixBase +
               ".txt";
    }
    void clear() const {
        for (const char* extension : {".pdf", ".ppm", ".txt"})
            DeleteFileA((base + extension).c_str());
    }
    bool printed() const {
        return GetFileAttributesA((base + ".pdf").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::string text() const {
        const auto bytes = readFile(base + ".txt");
        return std::string(bytes.begin(), bytes.end());
    }
    size_t pdfSize() const { return readFile(base + ".pdf").size(); }
    // The rendered page (binary PPM: "P6", width, height, 255, then RGB rows from the top).
    RgbImage page() const {
        const auto bytes = readFile(base + ".ppm");
        RgbImage image;
        int maxValue = 0;
        int consumed = 0;
        const std::string header(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 64));
        if (std::sscanf(header.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxValue,
                        &consumed) != 3 ||
            maxValue != 255)
            return {};
        const size_t start = size_t(consumed) + 1; // one whitespace byte ends the header
        const size_t size = size_t(image.width) * size_t(image.height) * 3;
        if (bytes.size() < start + size)
            return {};
        image.pixels.assign(bytes.begin() + std::ptrdiff_t(start),
                            bytes.begin() + std::ptrdiff_t(start + size));
        return image;
    }
};

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
        const std::string tag = "quorva-card-print-" + std::to_string(GetCurrentProcessId());
        unixDirectory_ = "/tmp/" + tag;
        directory_ = "Z:\\tmp\\" + tag;
        CreateDirectoryA(directory_.c_str(), nullptr);

        // The driver's files are looked up in the driver directory of the version (3).
        ppdPath_ = driverDirectory() + "\\3\\" + kPpd;
        writeGenericPpd(ppdPath_);
        addDriver(kDriver, kPpd);
        addDriver(kDriverWithoutPpd, "quorva-card-test-absent.ppd");

        for (const char* name : kAllPrinters)
            deletePrinter(name); // left over by an interrupted run
        for (const char* name : {kCardPrinter, kDefaultPrinter, kLongPrinter})
            addPrinter(name, output(name).port());
        // The job is read, then refused.
        addPrinter(kBrokenPrinter, "|cat > /dev/null; exit 3");
        addPrinter(kNoDriverPrinter, output(kNoDriverPrinter).port(), kDriverWithoutPpd);
        ASSERT_TRUE(SetDefaultPrinterA(kDefaultPrinter));
    }

    static void TearDownTestSuite() {
        if (!underWine())
            return;
        for (const char* name : kAllPrinters)
            deletePrinter(name);
        for (const char* driver : {kDriver, kDriverWithoutPpd})
            DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(driver));
        DeleteFileA(ppdPath_.c_str());
        for (const char* name : kAllPrinters)
            output(name).clear();
        RemoveDirectoryA(directory_.c_str());
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

    static Output output(const std::string& printer) {
        std::string file = printer;
        std::replace(file.begin(), file.end(), ' ', '-');
        return {unixDirectory_ + "/" + file, directory_ + "\\" + file};
    }

    const Bitmap picture_ = LoadCardPicture();
    const CardLabels labels_{"M\xDCLLER H\xE9l\xE8ne", "AB-123-CD", "VF1RJA00123456789",
                             "11/03/2015"};

private:
    static inline std::string previousDefault_;
    static inline std::string unixDirectory_;
    static inline std::string directory_;
    static inline std::string ppdPath_;
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
    const Output out = output(kCardPrinter);
    ASSERT_TRUE(out.printed());
    std::printf("card page PDF: %zu bytes\n", out.pdfSize());

    // The four texts, accents included (the PDF's text is UTF-8).
    const std::string text = out.text();
    for (const char* expected :
         {"M\xC3\x9CLLER H\xC3\xA9l\xC3\xA8ne", "AB-123-CD", "VF1RJA00123456789", "11/03/2015"})
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
    // Flat places of the picture: navy band, gold rule, the red and green discs, white.
    const RgbImage card = cardPicture();
    for (const auto& [x, y] : {std::pair{500, 10},
                               {600, 100},
                               {900, 30},
                               {500, 174},
                               {760, 240},
                               {890, 280},
                               {1000, 400},
                               {800, 470},
                               {300, 300}})
        EXPECT_TRUE(similar(onPage(x, y), at(card, x, y), 40)) << x << "," << y;
    // The picture reaches the corners of the printable area; the paper's margin stays white.
    EXPECT_TRUE(similar(onPage(3, 3), at(card, 3, 3), 40));
    EXPECT_TRUE(similar(onPage(1007, 3), at(card, 1007, 3), 40));
    const Rgb margin = at(page, g.offsetX * kRenderDpi / g.dpiX / 2, page.height / 2);
    EXPECT_TRUE(similar(margin, {255, 255, 255}, 5));

    // The labels' blue ink where each label starts (its first letters).
    for (const POINT p : {kNomClientAt, kChassisAt, kImmatAt, kValiditeAt}) {
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
    const std::vector<std::string> names = SystemPrinterNames();
    const auto card = std::find(names.begin(), names.end(), kCardPrinter);
    ASSERT_NE(card, names.end());

    CardPrinter printer;
    printer.SelectPrinterByIndex(int(card - names.begin()));
    EXPECT_EQ(printer.currentPrinter(), kCardPrinter);
    // The settings block came from the default printer's driver and now names the card printer.
    EXPECT_EQ(printer.settingsDeviceName(), kCardPrinter);

    for (const int index : {-1, int(names.size()), int(names.size()) + 5})
        EXPECT_EQ(errorOf([&] { printer.SelectPrinterByIndex(index); }),
                  "Indice imprimante hors limites")
            << index;
    EXPECT_EQ(printer.currentPrinter(), kCardPrinter);
}

TEST_F(CardPrint, NoDefaultPrinterAtFirstUseIsAnError) {
    removeDefaultPrinter();
    ASSERT_EQ(defaultPrinter(), "");
    const std::string expected = "Aucune imprimante par d\xE9"
                                 "faut s\xE9"
                                 "lectionn\xE9"
                                 "e";
    // Whether the card printer is found or not.
    for (const char* name : {kCardPrinter, "Imprimante absente"}) {
        CardPrinter printer;
        EXPECT_EQ(errorOf([&] { printer.print(name, labels_, picture_.get()); }), expected) << name;
    }
    CardPrinter printer;
    EXPECT_EQ(errorOf([&] { printer.SelectPrinterByIndex(0); }), expected);
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
         "Op\xE9"
         "ration non support\xE9"
         "e par l'imprimante s\xE9"
         "lectionn\xE9"
         "e"},
        // The card printer's driver cannot make a device context.
        {kDefaultPrinter, kNoDriverPrinter,
         "Imprimante s\xE9"
         "lectionn\xE9"
         "e incorrecte"},
        // The job reaches the spooler and the printer refuses it: not reported as printed.
        {kDefaultPrinter, kBrokenPrinter,
         "\xC9"
         "chec de l'impression"},
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
