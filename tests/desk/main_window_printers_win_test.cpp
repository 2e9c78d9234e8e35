// The settings tab's printers under Wine, against the real registry and the spooler's printer
// list. Each test adds its printers as keys under the spooler's printers key: the spooler lists a
// key that has a "Name" value, also one that the running process has just created, so a key made
// before the window opens is in its list. The keys are removed at the end of each test.
//
// The list is driven by the mouse messages a user's clicks send, the buttons by BM_CLICK, and
// the items' colours are read from the screen.

#include "main_window_fixture.h"
#include "printers/printer_attributes.h"
#include "support/window_capture.h"

#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

namespace quorva {
namespace {

using testkit::pumpMessages;

constexpr char kPrintersKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

std::string printerKey(const std::string& name) {
    return kPrintersKey + name;
}

void deletePrinterKey(const std::string& name) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, printerKey(name).c_str());
}

// The stored Attributes of a printer: nothing when the value is absent.
std::optional<DWORD> storedAttributes(const std::string& name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, printerKey(name).c_str(), "Attributes", RRF_RT_ANY, &type,
                     &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
    return value;
}

// The system registry, with each value write recorded; `beforeWrite` runs just before the write
// reaches the system.
class WatchedRegistry final : public Registry {
public:
    std::unique_ptr<RegistryKey> open(RegistryRoot root, const std::string& path,
                                      RegistryAccess access, bool create) const override {
        auto key = system_.open(root, path, access, create);
        if (!key)
            return nullptr;
        return std::make_unique<Key>(std::move(key), path, *this);
    }

    struct Write {
        std::string path;
        std::string name;
        std::uint32_t value;
    };
    mutable std::vector<Write> writes;
    std::function<void()> beforeWrite;

private:
    class Key final : public RegistryKey {
    public:
        Key(std::unique_ptr<RegistryKey> key, std::string path, const WatchedRegistry& owner)
            : key_(std::move(key)), path_(std::move(path)), owner_(owner) {}
        std::optional<RegistryValue> read(const std::string& name) const override {
            return key_->read(name);
        }
        bool writeDword(const std::string& name, std::uint32_t value) override {
            owner_.writes.push_back({path_, name, value});
            if (owner_.beforeWrite)
                owner_.beforeWrite();
            return key_->writeDword(name, value);
        }
        bool writeString(const std::string& name, const std::string& value) override {
            return key_->writeString(name, value);
        }
        bool deleteValue(const std::string& name) override { return key_->deleteValue(name); }

    private:
        std::unique_ptr<RegistryKey> key_;
        std::string path_;
        const WatchedRegistry& owner_;
    };

    SystemRegistry system_;
};

// How an item of the list looks on the screen.
struct ItemLook {
    int bluePixels = 0;       // exactly RGB(0, 0, 255)
    COLORREF fill = 0;        // right of the name
    bool blueOnWhite = false; // every pixel white, blue or a blend of the two
};

COLORREF pixel(const RgbImage& image, int x, int y) {
    const std::uint8_t* p = image.pixel(x, y);
    return RGB(p[0], p[1], p[2]);
}

// How the item in `rect` of a captured window looks.
ItemLook itemLook(const RgbImage& screen, const RECT& rect) {
    ItemLook look;
    look.fill = pixel(screen, rect.right - 4, (rect.top + rect.bottom) / 2);
    look.blueOnWhite = true;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x) {
            const COLORREF colour = pixel(screen, x, y);
            look.bluePixels += colour == kBlue ? 1 : 0;
            // The focused item's dotted frame runs along the rectangle's edge.
            const bool edge =
                y == rect.top || y == rect.bottom - 1 || x == rect.left || x == rect.right - 1;
            look.blueOnWhite =
                look.blueOnWhite &&
                (edge || (GetBValue(colour) == 255 && GetRValue(colour) == GetGValue(colour)));
        }
    return look;
}

class PrintersTest : public MainWindowFixture {
protected:
    PrintersTest() { windowRegistry = &systemRegistry; }
    ~PrintersTest() override {
        form.reset();
        for (const std::string& name : printers_)
            deletePrinterKey(name);
    }

    // A printer known to the spooler by its key alone; `attributes` nothing: no such value.
    void addPrinter(const std::string& name, std::optional<DWORD> attributes) {
        HKEY key = createPrinterKey(name);
        if (attributes)
            RegSetValueExA(key, "Attributes", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&*attributes), sizeof *attributes);
        RegCloseKey(key);
    }
    void addPrinterWithTextAttributes(const std::string& name, const std::string& text) {
        HKEY key = createPrinterKey(name);
        RegSetValueExA(key, "Attributes", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }

    // Opens the window on its settings tab, as the user sees it.
    void openSettingsTab() {
        form = openOnSpool();
        form->tabs().setActivePage(form->settingsTab().page());
        form->show(SW_SHOW);
        pumpMessages();
        ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text;
    }

    int indexOf(const std::string& name) const {
        for (int i = 0; i < printers().count(); ++i)
            if (printers().item(i) == name)
                return i;
        ADD_FAILURE() << name << " is not in the list";
        return -1;
    }
    RECT itemRect(int index) const {
        RECT rect{};
        SendMessageW(printers().hwnd(), LB_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    void mouse(UINT message, const std::string& name) {
        const RECT rect = itemRect(indexOf(name));
        const LPARAM at = MAKELPARAM(rect.left + 8, (rect.top + rect.bottom) / 2);
        SendMessageW(printers().hwnd(), message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
        pumpMessages();
    }
    // The user's click on an item, then a double click on it.
    void select(const std::string& name) {
        mouse(WM_LBUTTONDOWN, name);
        mouse(WM_LBUTTONUP, name);
    }
    void doubleClick(const std::string& name) {
        select(name);
        mouse(WM_LBUTTONDBLCLK, name);
        mouse(WM_LBUTTONUP, name);
    }
    void click(Button& button) {
        SendMessageW(button.hwnd(), BM_CLICK, 0, 0);
        pumpMessages();
    }

    ItemLook lookOf(const std::string& name) {
        UpdateWindow(printers().hwnd());
        return itemLook(testkit::captureWindow(printers().hwnd()), itemRect(indexOf(name)));
    }
    // What drawPrinterItem makes of the list's own colours for the item.
    ListBoxItemPaint paintOf(const std::string& name) {
        ListBoxItemPaint paint{
            nullptr, itemRect(indexOf(name)), indexOf(name), false, RGB(1, 2, 3), RGB(4, 5, 6),
            name};
        form->settingsTab().drawPrinterItem(paint);
        return paint;
    }

    // attributesLabel, the buttons and the item's colours for the selected printer.
    void expectShown(const std::string& name, const std::string& value, bool keeps) {
        SCOPED_TRACE(name);
        EXPECT_EQ(printers().item(printers().itemIndex()), name);
        EXPECT_EQ(form->settingsTab().attributesLabel().text(),
                  "Valeur Hexadecimale de Attributes = " + value);
        EXPECT_EQ(form->settingsTab().keepJobsButton().enabled(), !keeps && value != "inconnue");
        EXPECT_EQ(form->settingsTab().stopKeepingJobsButton().enabled(), keeps);
        EXPECT_TRUE(form->settingsTab().chooseCardPrinterButton().enabled());
        // Not by colour alone.
        EXPECT_EQ(paintOf(name).text, keeps ? name + " — conserve les travaux" : name);
        const ItemLook look = lookOf(name);
        if (keeps) {
            EXPECT_GT(look.bluePixels, 10);
            EXPECT_EQ(look.fill, kWhite);
            EXPECT_TRUE(look.blueOnWhite);
        } else {
            // The list's selection colours.
            EXPECT_EQ(look.bluePixels, 0);
            EXPECT_EQ(look.fill, GetSysColor(COLOR_HIGHLIGHT));
        }
    }

    ListBox& printers() const { return form->settingsTab().printerList(); }

    WatchedRegistry systemRegistry;
    std::unique_ptr<MainWindow> form;

private:
    HKEY createPrinterKey(const std::string& name) {
        deletePrinterKey(name); // a key left by an interrupted run
        printers_.push_back(name);
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, printerKey(name).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                       static_cast<DWORD>(name.size() + 1));
        return key;
    }

    std::vector<std::string> printers_;
};

TEST_F(PrintersTest, ASelectionShowsTheStoredAttribute) {
    struct Case {
        const char* printer;
        std::optional<DWORD> attributes;
        const char* label;
        bool keeps;
    };
    const Case cases[] = {
        {"Quorva Test 148", 0x148, "148", true},
        {"Quorva Test 48", 0x48, "48", false},
        // 0x248 has no bit 0x100.
        {"Quorva Test 248", 0x248, "248", false},
        {"Quorva Test 348", 0x348, "348", true},
        {"Quorva Test 0", 0, "0", false},
        // The stored 32 bits, not a sign-extended number.
        {"Quorva Test 80000148", 0x80000148, "80000148", true},
        {"Quorva Test sans valeur", std::nullopt, "inconnue", false},
    };
    for (const Case& c : cases)
        addPrinter(c.printer, c.attributes);
    openSettingsTab();
    EXPECT_EQ(form->settingsTab().attributesLabel().text(), "");
    EXPECT_FALSE(form->settingsTab().keepJobsButton().enabled());
    EXPECT_FALSE(form->settingsTab().stopKeepingJobsButton().enabled());
    EXPECT_FALSE(form->settingsTab().chooseCardPrinterButton().enabled());
    EXPECT_TRUE(form->settingsTab().restartSpoolerButton().enabled());

    for (const Case& c : cases) {
        select(c.printer);
        expectShown(c.printer, c.label, c.keeps);
        const ListBoxItemPaint paint = paintOf(c.printer);
        EXPECT_EQ(paint.background, c.keeps ? kWhite : RGB(1, 2, 3)) << c.printer;
        EXPECT_EQ(paint.foreground, c.keeps ? kBlue : RGB(4, 5, 6)) << c.printer;
    }
    // The others, unselected now: blue on white, or the list's window colours.
    for (size_t i = 0; i + 1 < std::size(cases); ++i) {
        const Case& c = cases[i];
        const ItemLook look = lookOf(c.printer);
        EXPECT_EQ(look.fill, c.keeps ? kWhite : GetSysColor(COLOR_WINDOW)) << c.printer;
        EXPECT_EQ(look.bluePixels > 0, c.keeps) << c.printer;
    }
    EXPECT_TRUE(systemRegistry.writes.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PrintersTest, EachChangeWritesOnceAndShowsTheStoredState) {
    struct Case {
        DWORD attributes;
        void (SettingsTab::*handler)();
        DWORD stored;
        const char* label;
        bool keeps;
    };
    const Case cases[] = {
        {0x48, &SettingsTab::onPrinterDoubleClick, 0x148, "148", true},
        {0x148, &SettingsTab::onPrinterDoubleClick, 0x48, "48", false},
        {0x48, &SettingsTab::onKeepJobs, 0x148, "148", true},
        {0x148, &SettingsTab::onKeepJobs, 0x148, "148", true},
        {0x348, &SettingsTab::onStopKeepingJobs, 0x248, "248", false},
        {0x148, &SettingsTab::onStopKeepingJobs, 0x48, "48", false},
        // Written back unchanged.
        {0x248, &SettingsTab::onStopKeepingJobs, 0x248, "248", false},
        {0xFFFFFFFF, &SettingsTab::onStopKeepingJobs, 0xFFFFFEFF, "FFFFFEFF", false},
    };
    std::vector<std::string> names;
    for (const Case& c : cases) {
        names.push_back("Quorva Test change " + std::to_string(names.size()));
        addPrinter(names.back(), c.attributes);
    }
    openSettingsTab();
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const Case& c = cases[i];
        select(names[i]);
        systemRegistry.writes.clear();
        (form->settingsTab().*c.handler)();
        pumpMessages();
        EXPECT_EQ(storedAttributes(names[i]), c.stored);
        ASSERT_EQ(systemRegistry.writes.size(), 1u);
        EXPECT_EQ(systemRegistry.writes[0].path, printerKeyPath(names[i]));
        EXPECT_EQ(systemRegistry.writes[0].name, "Attributes");
        EXPECT_EQ(systemRegistry.writes[0].value, c.stored);
        expectShown(names[i], c.label, c.keeps);
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PrintersTest, TwoDoubleClicksAndTheButtonsSwitchTheBitBackAndForth) {
    const std::string printer = "Quorva Test bascule";
    addPrinter(printer, 0x48);
    openSettingsTab();
    doubleClick(printer);
    EXPECT_EQ(storedAttributes(printer), 0x148u);
    expectShown(printer, "148", true);
    doubleClick(printer);
    EXPECT_EQ(storedAttributes(printer), 0x48u);
    expectShown(printer, "48", false);

    click(form->settingsTab().keepJobsButton());
    EXPECT_EQ(storedAttributes(printer), 0x148u);
    expectShown(printer, "148", true);
    click(form->settingsTab().stopKeepingJobsButton());
    EXPECT_EQ(storedAttributes(printer), 0x48u);
    expectShown(printer, "48", false);
    EXPECT_EQ(systemRegistry.writes.size(), 4u);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PrintersTest, APrinterWithoutAttributesOrKeyIsNeverWritten) {
    const std::string noValue = "Quorva Test sans valeur";
    // Listed at start-up, its key gone since: the list is never refreshed.
    const std::string removed = "Quorva Test supprimée";
    addPrinter(noValue, std::nullopt);
    addPrinter(removed, 0x148);
    openSettingsTab();
    deletePrinterKey(removed);
    for (const std::string& printer : {noValue, removed}) {
        doubleClick(printer);
        form->settingsTab().onKeepJobs();
        form->settingsTab().onStopKeepingJobs();
        pumpMessages();
        EXPECT_EQ(storedAttributes(printer), std::nullopt);
        expectShown(printer, "inconnue", false);
    }
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, printerKey(removed).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_TRUE(systemRegistry.writes.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PrintersTest, AValueOfTheWrongTypeIsReportedAndLeftAlone) {
    const std::string text = "Quorva Test texte";
    const std::string keeping = "Quorva Test 148";
    addPrinterWithTextAttributes(text, "148");
    addPrinter(keeping, 0x148);
    openSettingsTab(); // painting the list shows no box
    EXPECT_EQ(lookOf(text).fill, GetSysColor(COLOR_WINDOW));

    select(keeping);
    select(text);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Type de données incorrect pour 'Attributes'.");
    EXPECT_EQ(boxes.boxes[0].title, "Quorva");
    EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
    // The previous printer's state is not left on show for this one.
    EXPECT_EQ(form->settingsTab().attributesLabel().text(),
              "Valeur Hexadecimale de Attributes = inconnue");
    EXPECT_FALSE(form->settingsTab().keepJobsButton().enabled());
    EXPECT_FALSE(form->settingsTab().stopKeepingJobsButton().enabled());

    doubleClick(text);
    EXPECT_EQ(boxes.boxes.size(), 3u); // the click, then the double click
    EXPECT_TRUE(systemRegistry.writes.empty());
    char stored[16] = {};
    DWORD size = sizeof stored;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, printerKey(text).c_str(), "Attributes",
                           RRF_RT_REG_SZ, nullptr, stored, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(stored, "148");
}

TEST_F(PrintersTest, AWriteTheSystemRefusesIsReported) {
    // The key goes away between its opening and the write: the system refuses the write.
    const std::string printer = "Quorva Test refus";
    addPrinter(printer, 0x48);
    openSettingsTab();
    select(printer);
    systemRegistry.beforeWrite = [&] { deletePrinterKey(printer); };
    doubleClick(printer);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Echec à la définition des données pour 'Attributes'.");
    EXPECT_EQ(systemRegistry.writes.size(), 1u);
    // The handler ended at the write: the label still shows what was read before.
    EXPECT_EQ(form->settingsTab().attributesLabel().text(),
              "Valeur Hexadecimale de Attributes = 48");
}

TEST_F(PrintersTest, ADoubleClickWithNothingSelectedChangesNothing) {
    const std::string printer = "Quorva Test 48";
    addPrinter(printer, 0x48);
    openSettingsTab();
    ASSERT_EQ(printers().itemIndex(), -1);
    // The notification a double click sends, before any item was selected.
    SendMessageW(form->settingsTab().page().hwnd(), WM_COMMAND,
                 MAKEWPARAM(printers().id(), LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(printers().hwnd()));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Indice de liste hors limites (-1).");
    EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
    EXPECT_EQ(storedAttributes(printer), 0x48u);
    EXPECT_TRUE(systemRegistry.writes.empty());
    EXPECT_EQ(form->settingsTab().attributesLabel().text(), "");
}

TEST_F(PrintersTest, TheCardPrinterButtonSavesTheSelectedNameWhenItChanges) {
    const std::string first = "Quorva Test cartes";
    const std::string second = "Quorva Test cartes 2";
    addPrinter(first, 0x48);
    addPrinter(second, 0x48);
    openSettingsTab();
    select(first);
    click(form->settingsTab().chooseCardPrinterButton());
    EXPECT_EQ(form->settingsTab().text(Setting::CardPrinter), first);
    EXPECT_EQ(form->setting(Setting::CardPrinter), first);
    char saved[256] = {};
    GetPrivateProfileStringA("Options", "NomImprimante", "", saved, sizeof saved,
                             settingsFile().c_str());
    EXPECT_EQ(std::string(saved), first);

    // The same name again: the settings file is not written.
    std::filesystem::remove(settingsFile());
    click(form->settingsTab().chooseCardPrinterButton());
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));

    select(second);
    click(form->settingsTab().chooseCardPrinterButton());
    EXPECT_EQ(form->setting(Setting::CardPrinter), second);
    EXPECT_NE(contentOf(settingsFile()).find("NomImprimante=" + second), std::string::npos);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PrintersTest, TheRestartButtonStopsThenStartsTheSpoolerHidden) {
    openSettingsTab();
    click(form->settingsTab().restartSpoolerButton());
    ASSERT_EQ(shell.calls.size(), 2u);
    const char* const parameters[] = {"stop spooler", "start spooler"};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(shell.calls[i].verb, "");
        EXPECT_TRUE(shell.calls[i].file.ends_with(":\\windows\\system32\\net.exe") ||
                    shell.calls[i].file.ends_with(":\\Windows\\system32\\net.exe"))
            << shell.calls[i].file;
        EXPECT_EQ(shell.calls[i].parameters, parameters[i]);
        EXPECT_EQ(shell.calls[i].show, SW_HIDE);
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PrintersTest, TheSettingsTabDrawsAKeepingPrinterBlueOnWhite) {
    const std::string keeping = "Quorva Test suivi";
    const std::string plain = "Quorva Test normal";
    addPrinter(keeping, 0x148);
    addPrinter(plain, 0x48);
    openSettingsTab();
    select(plain);
    UpdateWindow(form->hwnd());
    RedrawWindow(form->hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);

    // The whole window as the screen shows it; the items' rectangles in its coordinates.
    const RgbImage window = testkit::captureWindow(form->hwnd());
    const auto inWindow = [&](const std::string& name) {
        RECT rect = itemRect(indexOf(name));
        MapWindowPoints(printers().hwnd(), form->hwnd(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    const ItemLook blue = itemLook(window, inWindow(keeping));
    EXPECT_GT(blue.bluePixels, 10);
    EXPECT_EQ(blue.fill, kWhite);
    EXPECT_TRUE(blue.blueOnWhite);
    const ItemLook selected = itemLook(window, inWindow(plain));
    EXPECT_EQ(selected.bluePixels, 0);
    EXPECT_EQ(selected.fill, GetSysColor(COLOR_HIGHLIGHT));
}

} // namespace
} // namespace quorva
