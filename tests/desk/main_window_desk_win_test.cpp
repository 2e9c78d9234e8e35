// The desk around the job list: layout at the screen's DPI, the remembered window, the
// notification-area icon, search through the job store, the server's state and the keyboard.
// tests/desk/at_dpi.sh runs the layout test again at 120, 144 and 192 DPI.

#include "desk/window_memory.h"
#include "main_window_fixture.h"
#include "platform/utf8.h"
#include "store/job_store.h"
#include "store/outbox.h"
#include "support/scripted_server.h"

#include <algorithm>
#include <vector>

namespace quorva {
namespace {

using testkit::ScriptedServer;

class DeskTest : public MainWindowFixture {
protected:
    DeskTest() {
        // As the program's manifest declares; the test executable has none.
        using SetContext = BOOL(WINAPI*)(HANDLE);
        if (const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
            set(reinterpret_cast<HANDLE>(-4)); // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    }

    // A job recorded by an earlier run, `daysAgo` before the test's clock.
    void storeJob(int daysAgo, const std::wstring& customer, const std::wstring& registration,
                  JobState state, const std::string& reportId = "") {
        const std::string& folder = dataFolder;
        std::filesystem::create_directories(folder + "\\outbox");
        JobStore store(toUtf8(std::wstring(folder.begin(), folder.end())) + "\\quorva.db");
        StoredJob job;
        job.spoolName = "0001" + std::to_string(daysAgo) + ".spl";
        job.capturedAt = addDays(clock.now(), -daysAgo);
        job.customer = customer;
        job.registration = registration;
        job.chassis = L"VF15RBF0A12345678";
        job.document = L"FA12345" + std::to_wstring(daysAgo) + L" du 12/10/26";
        job.state = state;
        job.reportId = reportId;
        job.spoolPath = temp.file(job.spoolName);
        // The copy as the capture keeps it.
        job.copyPath = Outbox(files, folder + "\\outbox")
                           .keep("facture", job.spoolName, job.printDate, job.capturedAt, store)
                           .path;
        store.add(job);
    }

    static std::wstring cell(MainWindow& form, int row, JobColumn column) {
        wchar_t text[128] = {};
        LVITEMW item{};
        item.iSubItem = static_cast<int>(column);
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(form.jobsTab().grid().hwnd(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        return text;
    }
    static int rowCount(MainWindow& form) {
        return static_cast<int>(SendMessageW(form.jobsTab().grid().hwnd(), LVM_GETITEMCOUNT, 0, 0));
    }
    // The key as the program's message loop hands it over, with Ctrl and Shift as given.
    static void pressKey(MainWindow& form, HWND target, WPARAM key, bool control,
                         bool shift = false) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG message{target, WM_KEYDOWN, key, 0, 0, {}};
        if (!form.translateKey(message))
            SendMessageW(target, WM_KEYDOWN, key, 0);
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
};

RECT rectOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// Opens with the window's own rectangles: on every page, every shown control lies inside the
// page, no two overlap (the card's labels lie on its picture instead, where the card's design
// places them), and each caption's text fits its control in the control's font.
TEST_F(DeskTest, EveryPageHoldsItsControlsAtTheScreensDpi) {
    const auto window = openOnSpool();
    window->show(SW_SHOWNORMAL);
    pumpFor(200);
    WindowDc screen(nullptr);
    EXPECT_EQ(window->dpi(), GetDeviceCaps(screen.get(), LOGPIXELSY));
    window->cardTab().show(
        {"M DUPONT JEAN-FRANÇOIS", "AB-123-CD", "VF15RBF0A12345678", "11/03/2027"});

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window->hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_TRUE(inside(rectOf(window->hwnd()), monitor.rcWork)) << "the window leaves the screen";

    const HWND picture = window->cardTab().picture().hwnd();
    for (const Page* page : {&window->jobsTab().page(), &window->cardTab().page(),
                             &window->spoolTab().page(), &window->settingsTab().page()}) {
        RECT pageRect{};
        GetClientRect(page->hwnd(), &pageRect);
        MapWindowPoints(page->hwnd(), nullptr, reinterpret_cast<POINT*>(&pageRect), 2);
        std::vector<HWND> controls;
        for (HWND child = GetWindow(page->hwnd(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            if ((GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0)
                controls.push_back(child);
        ASSERT_FALSE(controls.empty());
        for (size_t i = 0; i < controls.size(); ++i) {
            const HWND control = controls[i];
            const RECT rect = rectOf(control);
            SCOPED_TRACE(textOf(control));
            EXPECT_TRUE(inside(rect, pageRect)) << "outside its page";
            const bool onCard = control != picture && page == &window->cardTab().page();
            EXPECT_TRUE(!onCard || inside(rect, rectOf(picture))) << "off the card";
            for (size_t j = i + 1; j < controls.size(); ++j) {
                RECT overlap{};
                const RECT other = rectOf(controls[j]);
                EXPECT_TRUE(page == &window->cardTab().page() ||
                            !IntersectRect(&overlap, &rect, &other))
                    << "overlaps " << toUtf8(textOf(controls[j]));
            }
            wchar_t className[32] = {};
            GetClassNameW(control, className, 32);
            const std::wstring caption = textOf(control);
            if (caption.empty() ||
                (wcscmp(className, L"Static") != 0 && _wcsicmp(className, L"Button") != 0))
                continue;
            std::wstring shown = caption;
            shown.erase(std::remove(shown.begin(), shown.end(), L'&'), shown.end());
            WindowDc dc(control);
            SelectedObject font(dc.get(),
                                reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
            SIZE size{};
            GetTextExtentPoint32W(dc.get(), shown.c_str(), static_cast<int>(shown.size()), &size);
            RECT client{};
            GetClientRect(control, &client);
            EXPECT_LE(size.cx, client.right) << "caption too wide";
            EXPECT_LE(size.cy, client.bottom) << "caption too high";
        }
    }
}

TEST_F(DeskTest, TheWindowOpensWhereItWasLeftOnAScreenThatStillExists) {
    auto window = open();
    window->show(SW_SHOWNORMAL);
    SetWindowPos(window->hwnd(), nullptr, 40, 30, 980, 700, SWP_NOZORDER | SWP_NOACTIVATE);
    ListView_SetColumnWidth(window->jobsTab().grid().hwnd(), 1, MulDiv(260, window->dpi(), 96));
    WINDOWPLACEMENT before{};
    before.length = sizeof before;
    GetWindowPlacement(window->hwnd(), &before);
    window.reset();

    window = open();
    window->show(SW_SHOWNORMAL);
    WINDOWPLACEMENT after{};
    after.length = sizeof after;
    GetWindowPlacement(window->hwnd(), &after);
    EXPECT_TRUE(EqualRect(&after.rcNormalPosition, &before.rcNormalPosition));
    EXPECT_EQ(window->jobsTab().grid().columnWidths()[1], 260);
    window.reset();

    // Left on a screen since unplugged: back in the work area.
    RememberedWindow away = *readRememberedWindow(registry);
    away.left = -30000;
    away.right = -29000;
    rememberWindow(registry, away);
    window = open();
    window->show(SW_SHOWNORMAL);
    EXPECT_NE(MonitorFromWindow(window->hwnd(), MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_GE(rectOf(window->hwnd()).left, -200);
}

TEST_F(DeskTest, TheTrayMenuOpensAndQuits) {
    const auto window = open();
    PopupMenu& menu = window->trayMenu();
    EXPECT_EQ(window->trayIcon().tip(), L"Quorva");

    window->show(SW_MINIMIZE);
    menu.click(0);
    EXPECT_TRUE(IsWindowVisible(window->hwnd()));
    EXPECT_FALSE(IsIconic(window->hwnd()));
    menu.click(1);
    EXPECT_EQ(window->hwnd(), nullptr);
}

TEST_F(DeskTest, SearchFindsOlderJobsInTheStoreAndClearingBringsTheListBack) {
    storeJob(2, L"M MARTIN PAUL", L"AB-123-CD", JobState::Sent, "4701");
    storeJob(40, L"Mme LEFÈVRE HÉLÈNE", L"EF-456-GH", JobState::Sent, "4702");
    const auto window = openOnSpool();
    ASSERT_EQ(rowCount(*window), 1);

    Edit& field = window->jobsTab().searchField();
    // The service answers the search: the rows change once its answer is in.
    const auto shows = [&](const wchar_t* registration) {
        return pumpUntil([&] {
            return rowCount(*window) == 1 &&
                   cell(*window, 0, JobColumn::Registration) == registration;
        });
    };
    field.setWideText(L"ef-456");
    ASSERT_TRUE(shows(L"EF-456-GH"));
    EXPECT_EQ(cell(*window, 0, JobColumn::Customer), L"Mme LEFÈVRE HÉLÈNE");
    // The found job carries the list's actions: Enter on it opens its invoice.
    const JobGrid& grid = window->jobsTab().grid();
    window->jobsTab().grid().selectJob(grid.order().jobAt(0));
    registry.key(RegistryRoot::ClassesRoot, "htmlfile\\shell\\open\\command").values[""] =
        RegistryValue{RegistryType::String, "\"C:\\browser.exe\" %1", 0, false};
    pressKey(*window, grid.hwnd(), VK_RETURN, false);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_NE(shell.calls[0].parameters.find("idDocument=4702"), std::string::npos);

    field.setWideText(L"FA123452");
    ASSERT_TRUE(shows(L"AB-123-CD"));

    field.setWideText(L"");
    ASSERT_EQ(rowCount(*window), 1);
    EXPECT_EQ(cell(*window, 0, JobColumn::Registration), L"AB-123-CD");
}

TEST_F(DeskTest, TheStatusLineAndTheTrayTellWhetherTheServerAnswers) {
    ScriptedServer server(
        {{""}, {"HTTP/1.0 200 OK\r\nContent-Length: 25\r\n\r\n<idReport>4711</idReport>"}});
    storeJob(0, L"M MARTIN PAUL", L"AB-123-CD", JobState::Waiting);
    const auto window = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");
    const Label& status = window->jobsTab().statusLine();
    ASSERT_TRUE(pumpUntil([&] { return !status.text().empty(); }));
    EXPECT_EQ(status.text(), "Serveur injoignable depuis 14:05 — 1 facture en attente");
    EXPECT_EQ(window->trayIcon().tip(), L"Quorva : 1 facture en attente");

    window->jobsTab().grid().selectJob(0);
    window->jobsTab().sendAgain();
    ASSERT_TRUE(pumpUntil([&] { return status.text() == "Serveur joignable"; }));
    EXPECT_EQ(window->trayIcon().tip(), L"Quorva");
}

TEST_F(DeskTest, TheKeyboardSwitchesTabsSavesOnEnterAndKeepsTheFocus) {
    const auto window = openOnSpool();
    window->show(SW_SHOWNORMAL);
    SetForegroundWindow(window->hwnd());

    pressKey(*window, window->tabs().hwnd(), VK_TAB, true);
    EXPECT_EQ(window->tabs().activePage(), 1);
    pressKey(*window, window->tabs().hwnd(), VK_TAB, true, true);
    pressKey(*window, window->tabs().hwnd(), VK_TAB, true, true);
    EXPECT_EQ(window->tabs().activePage(), 3);

    Edit& site = window->settingsTab().edit(Setting::CardPrinter);
    SetFocus(site.hwnd());
    site.setText("Evolis Primacy");
    pressKey(*window, site.hwnd(), VK_RETURN, false);
    EXPECT_NE(contentOf(settingsFile()).find("NomImprimante=Evolis Primacy"), std::string::npos);

    // Alt+Tab away and back: the focus returns to the edit.
    SendMessageW(window->hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(window->tabs().hwnd());
    SendMessageW(window->hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(GetFocus(), site.hwnd());
}

} // namespace
} // namespace quorva
