// The window base class and the simple controls, under Wine: the error boundary, the reflected
// notifications, the timer, the popup menu, list boxes, labels, tabs and the picture area.

#include "platform/error.h"
#include "support/message_pump.h"
#include "support/recording_message_boxes.h"
#include "ui/controls.h"
#include "ui/image_area.h"
#include "ui/popup_menu.h"
#include "ui/tab_control.h"
#include "ui/test_host.h"
#include "ui/timer.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quorva {
namespace {

using testkit::pumpFor;
using testkit::pumpUntil;
using testkit::RecordingMessageBoxes;
using testkit::TestHost;

class WindowTest : public ::testing::Test {
protected:
    RecordingMessageBoxes boxes;
    TestHost host{boxes};
};

// ---- Error boundary

TEST_F(WindowTest, AnErrorInAHandlerIsShownAndTheWindowGoesOn) {
    int handled = 0;
    host.onAppMessage = [&](UINT message, WPARAM, LPARAM) {
        if (message == WM_APP + 1)
            throw Error("Le fichier est introuvable");
        if (message == WM_APP + 2)
            throw std::runtime_error("Fin de fichier.");
        ++handled;
    };
    SendMessageW(host.hwnd(), WM_APP + 1, 0, 0);
    SendMessageW(host.hwnd(), WM_APP + 2, 0, 0);
    SendMessageW(host.hwnd(), WM_APP + 3, 0, 0);

    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "Le fichier est introuvable.");
    EXPECT_EQ(boxes.boxes[1].text, "Fin de fichier.");
    for (const auto& box : boxes.boxes) {
        EXPECT_EQ(box.title, "Quorva");
        EXPECT_EQ(box.flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
        EXPECT_EQ(box.owner, host.hwnd());
    }
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(IsWindow(host.hwnd()));
}

TEST_F(WindowTest, ControlHandlersRunInsideTheBoundary) {
    Button button;
    button.create(host, {10, 10, 100, 24}, L"OK");
    int clicks = 0;
    button.onClick = [&] {
        if (++clicks == 1)
            throw Error("Impossible d'écrire dans C:\\x.ini");
    };
    SendMessageW(button.hwnd(), BM_CLICK, 0, 0);
    SendMessageW(button.hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Impossible d'écrire dans C:\\x.ini.");
    EXPECT_EQ(boxes.boxes[0].owner, host.hwnd());
}

TEST_F(WindowTest, ControlsLeaveWithTheirWindow) {
    auto button = std::make_unique<Button>();
    button->create(host, {10, 10, 100, 24}, L"OK");
    const HWND window = button->hwnd();
    EXPECT_EQ(Control::fromHandle(window), button.get());
    button.reset();
    EXPECT_FALSE(IsWindow(window));

    Label label;
    label.create(host, {10, 40, 100, 20}, L"x");
    DestroyWindow(label.hwnd());
    EXPECT_EQ(label.hwnd(), nullptr); // its destructor then has nothing to destroy
}

// ---- Edits

TEST_F(WindowTest, LeavingAnEditRunsItsExitHandlerOnce) {
    host.show();
    Edit first;
    Edit second;
    first.create(host, {10, 10, 200, 24});
    second.create(host, {10, 40, 200, 24});
    int exits = 0;
    first.onExit = [&] { ++exits; };
    SetFocus(first.hwnd());
    first.setText("d:\\spool été");
    EXPECT_EQ(exits, 0);
    SetFocus(second.hwnd());
    pumpFor(50);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(first.text(), "d:\\spool été");
}

// ---- Timer

TEST_F(WindowTest, AnEnabledTimerTicksUntilDisabled) {
    Timer timer(host, 20);
    int ticks = 0;
    timer.onTimer = [&] {
        if (++ticks == 2)
            timer.setEnabled(false);
    };
    EXPECT_FALSE(timer.enabled());
    pumpFor(100);
    EXPECT_EQ(ticks, 0);

    timer.setEnabled(true);
    EXPECT_TRUE(timer.enabled());
    EXPECT_TRUE(pumpUntil([&] { return ticks >= 2; }));
    EXPECT_FALSE(timer.enabled());
    pumpFor(100);
    EXPECT_EQ(ticks, 2);
}

TEST_F(WindowTest, EnablingARunningTimerDoesNotPutItsTickOff) {
    Timer timer(host, 200);
    int ticks = 0;
    timer.onTimer = [&] { ++ticks; };
    timer.setEnabled(true);
    // Enabled again every 50 ms, as change records come while a job spools.
    EXPECT_TRUE(pumpUntil(
        [&] {
            pumpFor(50);
            timer.setEnabled(true);
            return ticks >= 2;
        },
        5000));
}

TEST_F(WindowTest, TwoTimersOfOneWindowStayApart) {
    Timer slow(host, 60000);
    Timer fast(host, 10);
    int slowTicks = 0;
    int fastTicks = 0;
    slow.onTimer = [&] { ++slowTicks; };
    fast.onTimer = [&] { ++fastTicks; };
    slow.setEnabled(true);
    fast.setEnabled(true);
    EXPECT_TRUE(pumpUntil([&] { return fastTicks >= 3; }));
    EXPECT_EQ(slowTicks, 0);
    EXPECT_EQ(slow.interval(), 60000u);
}

// ---- Popup menu

TEST(PopupMenuTest, ItemsByIndex) {
    PopupMenu menu;
    PopupItem pdf(menu, L"Charger le fichier pdf de la facture", false);
    PopupItem card(menu, L"Imprimer la carte de fidélité", false);
    EXPECT_EQ(menu.count(), 2);
    EXPECT_EQ(pdf.index(), 0);
    EXPECT_EQ(card.index(), 1);
    EXPECT_EQ(menu.caption(1), L"Imprimer la carte de fidélité");
    EXPECT_FALSE(pdf.enabled());
    EXPECT_FALSE(card.enabled());

    card.setEnabled(true);
    EXPECT_TRUE(menu.enabled(1));
    EXPECT_FALSE(menu.enabled(0));

    menu.setCaption(0, L"PDF");
    EXPECT_EQ(pdf.caption(), L"PDF");
    EXPECT_FALSE(pdf.enabled()); // a new caption keeps the state
}

TEST(PopupMenuTest, ChoosingAnItemRunsItsHandlerOnlyWhenEnabled) {
    PopupMenu menu;
    PopupItem first(menu, L"un", false);
    PopupItem second(menu, L"deux", true);
    std::vector<int> clicked;
    first.setOnClick([&] { clicked.push_back(0); });
    second.setOnClick([&] { clicked.push_back(1); });
    menu.click(0);
    menu.click(1);
    menu.click(5);
    EXPECT_EQ(clicked, (std::vector<int>{1}));
    first.setEnabled(true);
    menu.click(0);
    EXPECT_EQ(clicked, (std::vector<int>{1, 0}));
}

// ---- List boxes

TEST_F(WindowTest, ListBoxInsertsAtTheTopAndChecksIndices) {
    ListBox list;
    list.create(host, {10, 10, 300, 200});
    list.insert(0, "ancienne");
    list.insert(0, "nouvelle");
    list.add("fin");
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(0), "nouvelle");
    EXPECT_EQ(list.item(2), "fin");
    EXPECT_EQ(list.itemIndex(), -1);
    try {
        list.item(list.itemIndex());
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Indice de liste hors limites (-1)");
    }
    list.clear();
    EXPECT_EQ(list.count(), 0);
}

TEST_F(WindowTest, ListBoxReportsSelectionAndDoubleClick) {
    ListBox list;
    list.create(host, {10, 10, 300, 200});
    list.add("HP LaserJet");
    list.add("Evolis");
    int clicks = 0;
    int doubleClicks = 0;
    list.onClick = [&] { ++clicks; };
    list.onDblClick = [&] { ++doubleClicks; };
    RECT item{};
    SendMessageW(list.hwnd(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    const LPARAM point = MAKELPARAM(item.left + 5, item.top + 3);
    SendMessageW(list.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(list.hwnd(), WM_LBUTTONUP, 0, point);
    EXPECT_EQ(list.itemIndex(), 1);
    EXPECT_EQ(clicks, 1);
    SendMessageW(list.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    SendMessageW(list.hwnd(), WM_LBUTTONUP, 0, point);
    EXPECT_EQ(doubleClicks, 1);
}

// Paints item `index` of an owner-drawn list into a bitmap through the parent, as the list
// itself would ask, and returns the colour at a point of the item.
COLORREF paintItem(ListBox& list, HWND parent, int index, bool selected, POINT at) {
    WindowDc screen(nullptr);
    MemoryDc dc(screen.get());
    Bitmap bitmap(CreateCompatibleBitmap(screen.get(), 300, 16));
    SelectedObject select(dc.get(), bitmap.get());
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_LISTBOX;
    draw.CtlID = static_cast<UINT>(list.id());
    draw.itemID = static_cast<UINT>(index);
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = selected ? ODS_SELECTED : 0;
    draw.hwndItem = list.hwnd();
    draw.hDC = dc.get();
    draw.rcItem = {0, 0, 300, 16};
    SendMessageW(parent, WM_DRAWITEM, draw.CtlID, reinterpret_cast<LPARAM>(&draw));
    return GetPixel(dc.get(), at.x, at.y);
}

TEST_F(WindowTest, OwnerDrawnListBoxPaintsWithTheColoursItsHandlerChose) {
    ListBox list;
    list.create(host, {10, 10, 300, 200}, ListBox::Kind::OwnerDrawFixed, 16);
    EXPECT_EQ(list.itemHeight(), 16);
    list.add("HP LaserJet");
    list.add("Evolis");

    // Plain: the list's own colours, the selection colour on the selected item.
    const POINT background{290, 8};
    EXPECT_EQ(paintItem(list, host.hwnd(), 0, false, background), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(paintItem(list, host.hwnd(), 0, true, background), GetSysColor(COLOR_HIGHLIGHT));

    std::vector<int> painted;
    list.onDrawItem = [&](ListBoxItemPaint& item) {
        painted.push_back(item.index);
        if (item.index == 1) {
            item.background = RGB(255, 255, 255);
            item.foreground = RGB(0, 0, 255);
        }
    };
    EXPECT_EQ(paintItem(list, host.hwnd(), 1, true, background), RGB(255, 255, 255));
    EXPECT_EQ(painted, (std::vector<int>{1}));

    // The name is written from the item's top-left corner, in the chosen text colour.
    WindowDc screen(nullptr);
    bool blueNearCorner = false;
    for (int x = 0; x < 12 && !blueNearCorner; ++x)
        for (int y = 0; y < 16 && !blueNearCorner; ++y)
            blueNearCorner = paintItem(list, host.hwnd(), 1, false, {x, y}) == RGB(0, 0, 255);
    EXPECT_TRUE(blueNearCorner);
}

// ---- Labels

TEST_F(WindowTest, AutoSizedLabelFollowsItsText) {
    Label label;
    label.create(host, {240, 435, 307, 62}, L"", true);
    EXPECT_EQ(label.bounds().width, 0);
    EXPECT_EQ(label.bounds().x, 240);
    label.setText("DUPONT Jean");
    const int width = label.bounds().width;
    EXPECT_GT(width, 0);
    EXPECT_GT(label.bounds().height, 0);
    label.setText("DUPONT Jean-Baptiste");
    EXPECT_GT(label.bounds().width, width);
    label.setText("");
    EXPECT_EQ(label.bounds().width, 0);

    Label fixed;
    fixed.create(host, {10, 10, 100, 20}, L"..");
    fixed.setText("...");
    EXPECT_EQ(fixed.bounds().width, 100);
}

TEST_F(WindowTest, LabelColoursReachItsPainting) {
    Label label;
    label.create(host, {10, 10, 100, 20}, L"x");
    WindowDc screen(nullptr);
    MemoryDc dc(screen.get());
    EXPECT_EQ(SendMessageW(host.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                           reinterpret_cast<LPARAM>(label.hwnd())),
              DefWindowProcW(host.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                             reinterpret_cast<LPARAM>(label.hwnd())));

    label.setColors(RGB(0, 0, 160), RGB(255, 255, 255));
    const auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(host.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                     reinterpret_cast<LPARAM>(label.hwnd())));
    LOGBRUSH info{};
    ASSERT_NE(GetObjectW(brush, sizeof info, &info), 0);
    EXPECT_EQ(info.lbColor, RGB(255, 255, 255));
    EXPECT_EQ(GetTextColor(dc.get()), RGB(0, 0, 160));
    EXPECT_EQ(GetBkColor(dc.get()), RGB(255, 255, 255));
}

// ---- Tabs

TEST_F(WindowTest, ClickingATabShowsItsPageOnly) {
    TabControl tabs;
    Page first(boxes);
    Page second(boxes);
    tabs.create(host, {6, 6, 400, 300});
    tabs.addPage(first, L"Suivi des Impressions");
    tabs.addPage(second, L"Paramètres");
    EXPECT_EQ(tabs.pageCount(), 2);
    EXPECT_EQ(tabs.caption(1), L"Paramètres");
    EXPECT_EQ(tabs.activePage(), 0);
    EXPECT_EQ(GetWindowLongPtrW(first.hwnd(), GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);
    EXPECT_EQ(GetWindowLongPtrW(second.hwnd(), GWL_STYLE) & WS_VISIBLE, 0);

    // A click on the second tab: the tab control notifies its parent, which hands it back.
    RECT item{};
    SendMessageW(tabs.hwnd(), TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    const LPARAM point = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(tabs.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(tabs.hwnd(), WM_LBUTTONUP, 0, point);
    EXPECT_EQ(tabs.activePage(), 1);
    EXPECT_EQ(GetWindowLongPtrW(first.hwnd(), GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(GetWindowLongPtrW(second.hwnd(), GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);

    tabs.setActivePage(first);
    EXPECT_EQ(tabs.activePage(), 0);
    EXPECT_EQ(GetWindowLongPtrW(first.hwnd(), GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);
}

TEST_F(WindowTest, PagesCoverTheDisplayAreaTheyAskedFor) {
    TabControl tabs;
    Page page(boxes);
    tabs.create(host, {6, 6, 100, 100});
    tabs.addPage(page, L"Carte de Fidélité");
    tabs.setBounds(tabs.boundsForDisplaySize(500, 300));
    tabs.layoutPages();
    RECT client{};
    GetClientRect(page.hwnd(), &client);
    EXPECT_EQ(client.right, 500);
    EXPECT_EQ(client.bottom, 300);
}

// ---- Picture area

TEST_F(WindowTest, PictureIsShownUnscaledFromTheCornerAndClipped) {
    host.show();
    ImageArea image(boxes);
    image.create(host, {5, 5, 40, 30});
    // A 60 x 20 picture: red on the left half, green on the right.
    WindowDc screen(nullptr);
    Bitmap picture(CreateCompatibleBitmap(screen.get(), 60, 20));
    {
        MemoryDc dc(screen.get());
        SelectedObject select(dc.get(), picture.get());
        Brush red(CreateSolidBrush(RGB(255, 0, 0)));
        Brush green(CreateSolidBrush(RGB(0, 255, 0)));
        RECT left{0, 0, 30, 20};
        RECT right{30, 0, 60, 20};
        FillRect(dc.get(), &left, red.get());
        FillRect(dc.get(), &right, green.get());
    }
    image.setBitmap(std::move(picture));
    UpdateWindow(image.hwnd());

    // Print the area into a bitmap of its own size.
    MemoryDc dc(screen.get());
    Bitmap target(CreateCompatibleBitmap(screen.get(), 40, 30));
    SelectedObject select(dc.get(), target.get());
    ASSERT_TRUE(PrintWindow(image.hwnd(), dc.get(), PW_CLIENTONLY));
    EXPECT_EQ(GetPixel(dc.get(), 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc.get(), 35, 10), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dc.get(), 10, 25), RGB(255, 255, 255)); // below the picture
}

} // namespace
} // namespace quorva
