// Numbered windows: the flag arithmetic, placement, classes, replacement and clean closing.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "gui/event_wait.h"
#include "gui/gadget_lists.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "gui/layer_posts.h"
#include "runtime/memory_heaps.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"

using namespace testsupport;

namespace {

std::string ClassName(intptr_t number) {
    char name[WINDOW_CLASS_NAME_SIZE];
    FormatWindowClassName(name, number);
    return name;
}

bool ClassRegistered(intptr_t number) {
    WNDCLASSA info;
    return GetClassInfoA(GetModuleHandleA(nullptr), ClassName(number).c_str(), &info) != 0;
}

RECT WindowRectOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

class NumberedWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testsupport::StartWindowLayer()); }
    void TearDown() override {
        CloseAllWindows();
        CollectEvents();
    }
};

TEST_F(NumberedWindowTest, TheApplicationsWindow) {
    intptr_t result = OpenNumberedWindow(14, 429, 123, 262, 310, "Kalibrix", 0xC80000);
    HWND window = NumberedWindowHandle(14);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(result, reinterpret_cast<intptr_t>(window));
    EXPECT_EQ(ClassName(14), "WindowClass_14");
    EXPECT_TRUE(ClassRegistered(14));
    char className[64];
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ(className, "WindowClass_14");
    char title[32];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Kalibrix");

    RECT rect = WindowRectOf(window);
    EXPECT_EQ(rect.left, 429);
    EXPECT_EQ(rect.top, 123);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 262);
    EXPECT_EQ(client.bottom, 310);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(window, "GX_WindowID")), 15);
    EXPECT_EQ(CurrentGadgetListState()->currentParent, window);
    WindowRecord* record = FindWindowRecord(14);
    EXPECT_NE(record->acceleratorTable, nullptr);
    EXPECT_EQ(record->acceleratorCount, 2);
    ACCEL entries[4];
    ASSERT_EQ(CopyAcceleratorTableA(record->acceleratorTable, entries, 4), 2);
    EXPECT_EQ(entries[0].fVirt & ~0x80, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(entries[0].key, VK_TAB);
    EXPECT_EQ(entries[0].cmd, CMD_FOCUS_NEXT);
    EXPECT_EQ(entries[1].fVirt & ~0x80, FVIRTKEY | FNOINVERT | FSHIFT);
    EXPECT_EQ(entries[1].cmd, CMD_FOCUS_PREVIOUS);
    EXPECT_EQ(AcceleratorFor(window), record->acceleratorTable);
}

TEST_F(NumberedWindowTest, AWindowWithNoStyleOfItsOwnGetsATitleBar) {
    // Hidden windows close at once under Wine; the hidden flag is no style of the window's own,
    // so it changes nothing here. The platform gives every overlapped window a caption itself,
    // so the rows without one are popups.
    struct Row {
        uint32_t flags;
        bool caption;
    };
    const Row rows[] = {{0, true},
                        {WINDOW_CENTER_SCREEN, true},
                        {WINDOW_CENTER_PARENT, true},
                        {WINDOW_CENTER_SCREEN | WINDOW_CENTER_PARENT, true},
                        {WINDOW_KEEP_GADGET_LIST, true},
                        {WS_POPUP, false},
                        {WS_POPUP | 4, false},
                        {WS_POPUP | WINDOW_CENTER_SCREEN, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE("flags " + std::to_string(row.flags));
        ASSERT_NE(OpenNumberedWindow(5, 50, 50, 300, 200, nullptr, row.flags | WINDOW_INVISIBLE),
                  0);
        HWND window = NumberedWindowHandle(5);
        LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ((style & WS_CAPTION) == WS_CAPTION, row.caption);
        // The layer's own flags never reach the platform style.
        EXPECT_EQ(style & 3, 0);
        EXPECT_FALSE(IsWindowVisible(window));
        CloseNumberedWindow(5);
    }
}

TEST_F(NumberedWindowTest, Placement) {
    const uint32_t hidden = WINDOW_INVISIBLE;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);

    // Centred on the screen, the outer size clamped to the screen.
    ASSERT_NE(OpenNumberedWindow(1, 0, 0, screenWidth * 2, screenHeight * 2, "big", 1 | hidden), 0);
    RECT rect = WindowRectOf(NumberedWindowHandle(1));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right - rect.left, screenWidth);
    EXPECT_EQ(rect.bottom - rect.top, screenHeight);

    ASSERT_NE(OpenNumberedWindow(1, 0, 0, 301, 201, "centred", 1 | hidden), 0);
    rect = WindowRectOf(NumberedWindowHandle(1));
    EXPECT_EQ(rect.left, (screenWidth - (rect.right - rect.left)) / 2);
    EXPECT_EQ(rect.top, (screenHeight - (rect.bottom - rect.top)) / 2);

    // Centred on a parent, which becomes the owner.
    ASSERT_NE(OpenNumberedWindow(2, 300, 200, 600, 400, "parent", hidden), 0);
    HWND parent = NumberedWindowHandle(2);
    RECT area = WindowRectOf(parent);
    ASSERT_NE(OpenNumberedWindow(3, 0, 0, 301, 201, "child", 2 | hidden, parent), 0);
    rect = WindowRectOf(NumberedWindowHandle(3));
    EXPECT_EQ(rect.left, area.left + (area.right - area.left - (rect.right - rect.left)) / 2);
    EXPECT_EQ(rect.top, area.top + (area.bottom - area.top - (rect.bottom - rect.top)) / 2);
    EXPECT_EQ(GetWindow(NumberedWindowHandle(3), GW_OWNER), parent);

    // A small reference window in the corner gives no negative coordinate.
    ASSERT_NE(OpenNumberedWindow(4, 0, 0, 20, 10, "small", WS_POPUP | WS_BORDER | hidden), 0);
    ASSERT_NE(OpenNumberedWindow(6, 5, 5, 300, 300, "wide", 2 | hidden, NumberedWindowHandle(4)),
              0);
    rect = WindowRectOf(NumberedWindowHandle(6));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);

    // POSITION_DEFAULT in one coordinate lets the platform place the window.
    ASSERT_NE(OpenNumberedWindow(7, POSITION_DEFAULT, 100, 300, 200, "default", hidden), 0);
    rect = WindowRectOf(NumberedWindowHandle(7));
    EXPECT_GT(rect.left, POSITION_DEFAULT + 1000);
    EXPECT_GT(rect.top, -1000);
}

TEST_F(NumberedWindowTest, OpeningANumberTwiceReplacesTheFirstWindowAndItsClass) {
    HWND first =
        reinterpret_cast<HWND>(OpenNumberedWindow(14, 10, 10, 100, 100, "first", WINDOW_INVISIBLE));
    ASSERT_TRUE(IsWindow(first));
    HWND second = reinterpret_cast<HWND>(
        OpenNumberedWindow(14, 20, 20, 100, 100, "second", WINDOW_INVISIBLE));
    ASSERT_TRUE(IsWindow(second));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_NE(first, second);
    EXPECT_EQ(NumberedWindowHandle(14), second);
    EXPECT_TRUE(ClassRegistered(14));
    CloseNumberedWindow(14);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(ClassRegistered(14));
    EXPECT_EQ(FindWindowRecord(14), nullptr);
    CloseNumberedWindow(14); // a number without window: nothing happens
}

TEST_F(NumberedWindowTest, HiddenWindowsAndKeptGadgetLists) {
    HWND shown = reinterpret_cast<HWND>(OpenNumberedWindow(1, 10, 10, 100, 100, "a", 0));
    CollectEvents();
    HWND hidden =
        reinterpret_cast<HWND>(OpenNumberedWindow(2, 10, 10, 100, 100, "b", WINDOW_INVISIBLE));
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(CurrentGadgetListState()->currentParent, hidden);
    HWND kept = reinterpret_cast<HWND>(
        OpenNumberedWindow(3, 10, 10, 100, 100, "c", WINDOW_INVISIBLE | WINDOW_KEEP_GADGET_LIST));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(CurrentGadgetListState()->currentParent, hidden);
    char name[40];
    FormatGadgetStackName(name);
    EXPECT_EQ(GetPropA(kept, name), nullptr);
    EXPECT_NE(GetPropA(shown, name), nullptr);
}

TEST_F(NumberedWindowTest, AutoNumberedWindowsWorkByTheirAddress) {
    intptr_t number = OpenNumberedWindow(AUTO_NUMBER, 10, 10, 100, 100, "auto", WINDOW_INVISIBLE);
    ASSERT_NE(number, 0);
    CollectEvents();
    WindowRecord* record = FindWindowRecord(number);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<intptr_t>(record), number);
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(number)));
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(record->handle, "GX_WindowID")), number + 1);
    char className[64];
    GetClassNameA(record->handle, className, sizeof className);
    EXPECT_EQ(ClassName(number), className);
    // Its messages are translated under its number.
    SendMessageA(record->handle, WM_MOVE, 0, 0);
    EXPECT_EQ(WaitEvent(0), EVENT_WINDOW_MOVED);
    EXPECT_EQ(CurrentEventState()->window, static_cast<int32_t>(number));
    HWND handle = record->handle;
    CloseNumberedWindow(number);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(ClassRegistered(number));
    // The closed window's number no longer finds anything.
    EXPECT_EQ(FindWindowRecord(number), nullptr);
    EXPECT_EQ(NumberedWindowHandle(number), nullptr);
}

TEST_F(NumberedWindowTest, FailedCreationLeavesNoTrace) {
    // A child style without a parent is refused by the platform.
    EXPECT_EQ(OpenNumberedWindow(9, 0, 0, 100, 100, "child", WS_CHILD), 0);
    EXPECT_EQ(FindWindowRecord(9), nullptr);
    EXPECT_FALSE(ClassRegistered(9));
}

// Every table entry still present, walked the way shut-down walks it.
int PresentEntries(ObjectTable* table) {
    int present = 0;
    ObjectTableRewind(table);
    intptr_t number;
    while (void* record = ObjectTableNext(table, &number)) {
        if (*static_cast<HWND*>(record)) {
            ++present;
        }
    }
    return present;
}

TEST_F(NumberedWindowTest, OpenCloseCyclesLeaveNothingBehind) {
    std::vector<HWND> handles;
    std::vector<intptr_t> autoNumbers;
    for (int cycle = 0; cycle < 100; ++cycle) {
        intptr_t number = (cycle % 2) ? 14 : AUTO_NUMBER;
        // Hidden: under Wine without a window manager every visible window takes two seconds
        // to close.
        intptr_t result = OpenNumberedWindow(number, 10, 10, 200, 150, "cycle", WINDOW_INVISIBLE);
        ASSERT_NE(result, 0) << "cycle " << cycle;
        if (number == AUTO_NUMBER) {
            number = result;
            autoNumbers.push_back(number);
        }
        HWND window = NumberedWindowHandle(number);
        handles.push_back(window);
        ASSERT_NE(CreateTextGadget(1, 5, 5, 80, 20, "Text"), 0);
        ASSERT_NE(CreateStringGadget(2, 5, 30, 80, 20, "String"), 0);
        ASSERT_NE(CreateButtonGadget(AUTO_NUMBER, 5, 55, 80, 20, "Button"), 0);
        handles.push_back(GadgetHandle(1));
        handles.push_back(GadgetHandle(2));
        WaitEvent(0);
        CloseNumberedWindow(number);
    }
    CollectEvents();
    EXPECT_EQ(PresentEntries(WindowTable()), 0);
    EXPECT_EQ(PresentEntries(GadgetTable()), 0);
    // Dynamic entries are freed, not just emptied.
    EXPECT_EQ(WindowTable()->dynamicList, nullptr);
    EXPECT_EQ(GadgetTable()->dynamicList, nullptr);
    for (HWND handle : handles) {
        EXPECT_FALSE(IsWindow(handle));
    }
    EXPECT_FALSE(ClassRegistered(14));
    for (intptr_t number : autoNumbers) {
        EXPECT_FALSE(ClassRegistered(number));
    }
    EXPECT_EQ(CurrentGadgetListState()->currentParent, nullptr);
    EXPECT_NE(CurrentGadgetListState()->containerStack, nullptr);
}

TEST_F(NumberedWindowTest, CloseAllClosesEveryWindowAndFreesThePayload) {
    OpenNumberedWindow(1, 10, 10, 100, 100, "a", WINDOW_INVISIBLE);
    OpenNumberedWindow(20, 10, 10, 100, 100, "b", WINDOW_INVISIBLE);
    intptr_t dynamic = OpenNumberedWindow(AUTO_NUMBER, 10, 10, 100, 100, "c", WINDOW_INVISIBLE);
    HWND handles[] = {NumberedWindowHandle(1), NumberedWindowHandle(20),
                      NumberedWindowHandle(dynamic)};
    CurrentEventState()->payload = MainHeapAlloc(6 * sizeof(void*));
    CloseAllWindows();
    for (HWND handle : handles) {
        EXPECT_FALSE(IsWindow(handle));
    }
    EXPECT_EQ(PresentEntries(WindowTable()), 0);
    EXPECT_EQ(CurrentEventState()->payload, nullptr);
}

// A callback that closes another window while the first one is destroyed.
HWND closingFirst = nullptr;
intptr_t closedFromCallback = 0;

LRESULT CALLBACK CloseAnotherWhileDestroyed(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_DESTROY && window == closingFirst && closedFromCallback != 0) {
        intptr_t other = closedFromCallback;
        closedFromCallback = 0;
        CloseNumberedWindow(other);
    }
    return PASS_ON;
}

TEST_F(NumberedWindowTest, CloseAllWalksOnWhenAClosingWindowClosesTheNextOne) {
    intptr_t numbers[3];
    HWND handles[3];
    for (int i = 0; i < 3; ++i) {
        numbers[i] = OpenNumberedWindow(AUTO_NUMBER, 10, 10, 100, 100, "w", WINDOW_INVISIBLE);
        ASSERT_NE(numbers[i], 0);
        handles[i] = NumberedWindowHandle(numbers[i]);
    }
    // The walk takes the oldest first, and the next one is what its destruction closes.
    closingFirst = handles[0];
    closedFromCallback = numbers[1];
    SetEventCallback(CloseAnotherWhileDestroyed);
    CloseAllWindows();
    SetEventCallback(nullptr);
    EXPECT_EQ(closedFromCallback, 0);
    for (HWND handle : handles) {
        EXPECT_FALSE(IsWindow(handle));
    }
    EXPECT_EQ(WindowTable()->dynamicList, nullptr);
}

// A payload posted to a window that closes before a wait takes it goes back with the window, and
// no fixed number of payloads can run out.
TEST_F(NumberedWindowTest, AClosingWindowGivesBackThePayloadsPostedToIt) {
    HWND window =
        reinterpret_cast<HWND>(OpenNumberedWindow(8, 10, 10, 100, 100, "p", WINDOW_INVISIBLE));
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 40; ++i) {
        void* payload = MakeEventPayload(0);
        ASSERT_NE(payload, nullptr) << i;
        ASSERT_TRUE(PostEventPayload(window, MSG_GADGET_DATA, i, payload));
    }
    EXPECT_EQ(LiveEventPayloads(), 40);
    CloseNumberedWindow(8);
    EXPECT_EQ(LiveEventPayloads(), 0);
}

// A callback that closes the window again while its close destroys it.
HWND closeAgainWindow = nullptr;
int closeAgainDestroys = 0;
void* takenAfterInnerClose = nullptr;

LRESULT CALLBACK CloseAgainWhileDestroyed(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_DESTROY && window == closeAgainWindow && ++closeAgainDestroys == 1) {
        CloseNumberedWindow(14);
        // What that close gave back to the heap is taken at once: a second free by the outer
        // close would free this block under its new owner.
        takenAfterInnerClose = MainHeapAlloc(sizeof(ACCEL) * 2);
    }
    return PASS_ON;
}

TEST_F(NumberedWindowTest, ACallbackClosingTheWindowDuringItsCloseFreesNothingTwice) {
    HWND window =
        reinterpret_cast<HWND>(OpenNumberedWindow(14, 10, 10, 100, 100, "a", WINDOW_INVISIBLE));
    ASSERT_NE(window, nullptr);
    ASSERT_NE(FindWindowRecord(14)->acceleratorEntries, nullptr);
    ASSERT_TRUE(SetWindowBackground(14, CreateSolidBrush(RGB(1, 2, 3))));
    closeAgainWindow = window;
    SetEventCallback(CloseAgainWhileDestroyed);
    CloseNumberedWindow(14);
    SetEventCallback(nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(FindWindowRecord(14), nullptr);
    EXPECT_EQ(closeAgainDestroys, 1) << "the window was destroyed twice";
    ASSERT_NE(takenAfterInnerClose, nullptr);
    EXPECT_TRUE(HeapValidate(MainHeapHandle(), 0, takenAfterInnerClose))
        << "the accelerator block was freed twice";
    MainHeapFree(takenAfterInnerClose);
}

// A callback that opens a window while window 14 is being created.
intptr_t openWhileCreating = 0; // the number to open, 0 once opened
HWND openedWhileCreating = nullptr;

LRESULT CALLBACK OpenWhileCreating(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_CREATE && openWhileCreating) {
        intptr_t number = openWhileCreating;
        openWhileCreating = 0;
        openedWhileCreating = reinterpret_cast<HWND>(
            OpenNumberedWindow(number, 30, 30, 100, 100, "inner", WINDOW_INVISIBLE));
    }
    return PASS_ON;
}

TEST_F(NumberedWindowTest, ACallbackOpeningAWindowDuringCreationLeavesNoStrayWindow) {
    struct Row {
        const char* name;
        intptr_t inner;
        bool innerStays; // else it is closed as the holder of the number that creation takes
    };
    // A number so high that the table's array grows past half a megabyte: the heap then gives
    // it a region of its own, so it moves whatever the heap's layout.
    const intptr_t highNumber = 0x80000 / sizeof(WindowRecord);
    const Row rows[] = {{"a higher number, which moves the table", highNumber, true},
                        {"the same number", 14, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.inner != 14) {
            ASSERT_LE(WindowTable()->capacity, row.inner) << "the window must grow the table";
        }
        openWhileCreating = row.inner;
        openedWhileCreating = nullptr;
        SetEventCallback(OpenWhileCreating);
        HWND outer = reinterpret_cast<HWND>(
            OpenNumberedWindow(14, 10, 10, 100, 100, "outer", WINDOW_INVISIBLE));
        SetEventCallback(nullptr);
        HWND inner = openedWhileCreating;
        ASSERT_NE(inner, nullptr);
        ASSERT_NE(outer, nullptr);
        EXPECT_EQ(NumberedWindowHandle(14), outer);
        EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(outer, "GX_WindowID")), 15);
        EXPECT_NE(FindWindowRecord(14)->acceleratorTable, nullptr);
        EXPECT_EQ(IsWindow(inner) != 0, row.innerStays);
        if (row.innerStays) {
            EXPECT_EQ(NumberedWindowHandle(row.inner), inner);
        }
        CloseAllWindows();
        EXPECT_FALSE(IsWindow(outer));
        EXPECT_FALSE(IsWindow(inner));
        EXPECT_EQ(PresentEntries(WindowTable()), 0);
    }
}

} // namespace
