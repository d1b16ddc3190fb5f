// The sizing tracker on a resizable numbered window, driven through the layer's window
// procedure and event wait.
#include "gui/sizing_tracker.h"

#include <gtest/gtest.h>

#include "gui/event_wait.h"
#include "gui/numbered_windows.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"

using testsupport::CollectEvents;
using testsupport::Contains;
using testsupport::EventsToMarker;

// Found by argument lookup, so they live beside the platform's types.
inline bool operator==(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != 0;
}
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
inline bool operator==(const POINT& a, const POINT& b) {
    return a.x == b.x && a.y == b.y;
}
inline std::ostream& operator<<(std::ostream& out, const POINT& p) {
    return out << "(" << p.x << ", " << p.y << ")";
}

namespace {

constexpr intptr_t WINDOW = 3;
constexpr intptr_t OTHER_WINDOW = 4;
constexpr int MIN_W = 200, MIN_H = 150, MAX_W = 600, MAX_H = 500;

RECT WindowRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

POINT CursorPos() {
    POINT p;
    GetCursorPos(&p);
    return p;
}

// One window serves every case: under Wine without a window manager each visible window
// takes about two seconds to close.
class SizingTrackerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(testsupport::StartWindowLayer());
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &savedFullDrag, 0);
        window = reinterpret_cast<HWND>(
            OpenNumberedWindow(WINDOW, 200, 150, 400, 300, "sizing", WS_OVERLAPPEDWINDOW));
        if (window) {
            SetWindowSizeLimits(WINDOW, MIN_W, MIN_H, MAX_W, MAX_H);
            CollectEvents();
            start = WindowRect(window);
        }
    }
    static void TearDownTestSuite() {
        CloseNumberedWindow(WINDOW);
        CollectEvents();
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, savedFullDrag, nullptr, 0);
    }
    void SetUp() override {
        ASSERT_NE(window, nullptr);
        SetFullDrag(TRUE);
        RestoreStart();
        ASSERT_EQ(WindowRect(window), start);
        tracker = CurrentSizingTracker();
        ASSERT_NE(tracker, nullptr);
        ASSERT_EQ(tracker->active, 0);
    }
    void TearDown() override {
        if (GetCapture())
            ReleaseCapture();
        CloseNumberedWindow(OTHER_WINDOW);
        CollectEvents();
    }
    static void SetFullDrag(BOOL on) {
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on, nullptr, 0);
        BOOL now = !on;
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &now, 0);
        ASSERT_EQ(now, on) << "full-window dragging could not be switched";
    }
    // The size command as a border drag (edge 1 to 8) or the window menu (edge 0) sends it.
    LRESULT StartSizing(int edge) { return SendMessageA(window, WM_SYSCOMMAND, SC_SIZE | edge, 0); }
    // A mouse move to a screen point, posted in the window's client coordinates as the platform
    // delivers it to the capturing window.
    void MoveMouseTo(int x, int y) {
        POINT p = {x, y};
        ScreenToClient(window, &p);
        PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON,
                     MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
        EventsToMarker();
    }
    // Presses the key as a user would, and settles: keyboard sizing moves the pointer, which
    // comes back as input of its own.
    static std::vector<int32_t> Press(WORD key) {
        std::vector<int32_t> events;
        EXPECT_TRUE(testsupport::PressKey(key, false, &events)) << "the key press never arrived";
        const std::vector<int32_t> settling = CollectEvents();
        events.insert(events.end(), settling.begin(), settling.end());
        return events;
    }
    static void RestoreStart() {
        MoveWindow(window, start.left, start.top, start.right - start.left,
                   start.bottom - start.top, TRUE);
        CollectEvents();
    }

    static BOOL savedFullDrag;
    static HWND window;
    static RECT start;
    SizingTracker* tracker = nullptr;
};

BOOL SizingTrackerTest::savedFullDrag = FALSE;
HWND SizingTrackerTest::window = nullptr;
RECT SizingTrackerTest::start = {};

TEST_F(SizingTrackerTest, MouseSizingFollowsThePointerWithinTheLimits) {
    const LONG L = start.left, T = start.top, R = start.right, B = start.bottom;
    const LONG midX = (L + R) / 2, midY = (T + B) / 2;
    struct Row {
        const char* name;
        int edge;
        POINT pointer;
        RECT expected;
    } rows[] = {
        {"right edge", WMSZ_RIGHT, {R + 40, midY}, {L, T, R + 42, B}},
        {"right edge past the minimum width", WMSZ_RIGHT, {L + 50, midY}, {L, T, L + MIN_W, B}},
        {"right edge past the maximum width", WMSZ_RIGHT, {L + 1000, midY}, {L, T, L + MAX_W, B}},
        {"left edge", WMSZ_LEFT, {L - 30, midY}, {L - 30, T, R, B}},
        {"left edge past the minimum width", WMSZ_LEFT, {R - 20, midY}, {R - MIN_W, T, R, B}},
        {"top edge", WMSZ_TOP, {midX, T - 25}, {L, T - 25, R, B}},
        {"bottom edge past the minimum height", WMSZ_BOTTOM, {midX, T + 10}, {L, T, R, T + MIN_H}},
        {"bottom edge past the maximum height", WMSZ_BOTTOM, {midX, T + 900}, {L, T, R, T + MAX_H}},
        {"top-left corner sits 2 inside both",
         WMSZ_TOPLEFT,
         {L - 20, T - 10},
         {L - 22, T - 12, R, B}},
        {"top-right corner", WMSZ_TOPRIGHT, {R + 10, T - 10}, {L, T - 10, R + 12, B}},
        {"bottom-left corner", WMSZ_BOTTOMLEFT, {L - 10, B + 10}, {L - 10, T, R, B + 12}},
        {"bottom-right corner sits 2 inside both",
         WMSZ_BOTTOMRIGHT,
         {R + 20, B + 10},
         {L, T, R + 22, B + 12}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RestoreStart();
        ASSERT_EQ(StartSizing(row.edge), 0);
        EXPECT_EQ(tracker->active, 1);
        EXPECT_EQ(tracker->edge, row.edge);
        EXPECT_EQ(tracker->restoreCursor, 0);
        EXPECT_EQ(tracker->startRect, start);
        EXPECT_EQ(tracker->limits.ptMinTrackSize.x, MIN_W);
        EXPECT_EQ(tracker->limits.ptMinTrackSize.y, MIN_H);
        EXPECT_EQ(tracker->limits.ptMaxTrackSize.x, MAX_W);
        EXPECT_EQ(tracker->limits.ptMaxTrackSize.y, MAX_H);
        EXPECT_EQ(GetCapture(), window);
        EXPECT_TRUE(Contains(EventsToMarker(), WM_ENTERSIZEMOVE));

        MoveMouseTo(row.pointer.x, row.pointer.y);
        EXPECT_EQ(tracker->rect, row.expected);
        EXPECT_EQ(WindowRect(window), row.expected);

        PostMessageA(window, WM_LBUTTONUP, 0, 0);
        const std::vector<int32_t> events = EventsToMarker();
        EXPECT_EQ(tracker->active, 0);
        EXPECT_NE(GetCapture(), window);
        EXPECT_TRUE(Contains(events, WM_EXITSIZEMOVE));
        EXPECT_EQ(WindowRect(window), row.expected) << "the end changed the size";
    }
}

// The window's answer to WM_SIZING corrects the rectangle before the move.
LRESULT CALLBACK SnapWidthTo50(HWND, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_SIZING)
        return PASS_ON;
    RECT* r = reinterpret_cast<RECT*>(lParam);
    r->right = r->left + (r->right - r->left) / 50 * 50;
    return TRUE;
}

TEST_F(SizingTrackerTest, TheWindowMayCorrectTheRectangle) {
    ASSERT_TRUE(SetWindowCallback(WINDOW, SnapWidthTo50));
    ASSERT_EQ(StartSizing(WMSZ_RIGHT), 0);
    MoveMouseTo(start.left + 333, (start.top + start.bottom) / 2);
    EXPECT_EQ(WindowRect(window).right - WindowRect(window).left, 300);
    PostMessageA(window, WM_LBUTTONUP, 0, 0);
    EventsToMarker();
    SetWindowCallback(WINDOW, nullptr);
    EXPECT_EQ(tracker->active, 0);
}

// Keyboard sizing from the window menu with real key presses through the event wait.
TEST_F(SizingTrackerTest, ArrowKeysPickEdgesAndStepTenPixels) {
    ASSERT_TRUE(testsupport::BringToFront(window));
    SetFocus(window);
    const LONG L = start.left, T = start.top, R = start.right, B = start.bottom;
    const POINT centre = {(L + R) / 2, (T + B) / 2};
    SetCursorPos(centre.x, centre.y);
    CollectEvents();

    ASSERT_EQ(StartSizing(0), 0);
    EXPECT_EQ(tracker->edge, 0);
    EXPECT_EQ(tracker->restoreCursor, 1);
    EXPECT_EQ(tracker->savedCursor, centre);
    CollectEvents();

    EXPECT_TRUE(Contains(Press(VK_LEFT), WM_KEYDOWN)) << "the arrow did not reach the event wait";
    EXPECT_EQ(tracker->edge, WMSZ_LEFT);
    EXPECT_EQ(CursorPos(), (POINT{L, centre.y}));
    EXPECT_EQ(WindowRect(window), start) << "picking the edge changed the size";

    for (int step = 1; step <= 2; ++step) {
        SCOPED_TRACE(step);
        Press(VK_LEFT);
        EXPECT_EQ(WindowRect(window), (RECT{L - 10 * step, T, R, B}));
        EXPECT_EQ(CursorPos().x, L - 10 * step);
    }

    Press(VK_UP);
    EXPECT_EQ(tracker->edge, WMSZ_TOPLEFT);
    EXPECT_EQ(CursorPos(), (POINT{L - 20 + 2, T + 2}));
    EXPECT_EQ(WindowRect(window), (RECT{L - 20, T, R, B}));

    const std::vector<int32_t> events = Press(VK_RETURN);
    EXPECT_EQ(tracker->active, 0);
    EXPECT_TRUE(Contains(events, WM_EXITSIZEMOVE));
    EXPECT_EQ(WindowRect(window), (RECT{L - 20, T, R, B}));
}

TEST_F(SizingTrackerTest, EnterPutsTheCursorBackOnlyWhenTheMouseDidNotMove) {
    const POINT centre = {(start.left + start.right) / 2, (start.top + start.bottom) / 2};
    const POINT elsewhere = {centre.x + 37, centre.y + 23};
    struct Row {
        const char* name;
        bool mouseMoves;
        POINT expected;
    } rows[] = {{"no mouse movement", false, centre}, {"after a mouse movement", true, elsewhere}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetCursorPos(centre.x, centre.y);
        CollectEvents();
        ASSERT_EQ(StartSizing(0), 0);
        if (row.mouseMoves)
            MoveMouseTo(centre.x, centre.y);
        // Moved without a pump, so no mouse message reaches the tracker before Enter.
        SetCursorPos(elsewhere.x, elsewhere.y);
        EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_RETURN, 0), 0);
        EXPECT_EQ(tracker->active, 0);
        EXPECT_EQ(CursorPos(), row.expected);
        CollectEvents();
        EXPECT_EQ(WindowRect(window), start);
    }
}

// Escape ends the sizing where it stands, like Enter.
TEST_F(SizingTrackerTest, EscapeKeepsTheCurrentSize) {
    ASSERT_EQ(StartSizing(0), 0);
    SendMessageA(window, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(tracker->edge, WMSZ_RIGHT);
    SendMessageA(window, WM_KEYDOWN, VK_RIGHT, 0);
    const RECT grown = {start.left, start.top, start.right + 10, start.bottom};
    EXPECT_EQ(WindowRect(window), grown);
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0), 0);
    EXPECT_EQ(tracker->active, 0);
    CollectEvents();
    EXPECT_EQ(WindowRect(window), grown);
}

TEST_F(SizingTrackerTest, LosingTheCaptureEndsTheSizing) {
    HWND other = CreateWindowExA(0, testsupport::PlainWindowClass(), "", WS_POPUP, 0, 0, 10, 10,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(StartSizing(WMSZ_BOTTOM), 0);
    SetCapture(other);
    EXPECT_EQ(tracker->active, 0);
    EXPECT_TRUE(Contains(EventsToMarker(), WM_EXITSIZEMOVE));
    ReleaseCapture();
    DestroyWindow(other);
}

// Only the window being sized takes part; the keys of another numbered window go their way.
TEST_F(SizingTrackerTest, AnotherWindowsMessagesLeaveTheSizingAlone) {
    HWND second = reinterpret_cast<HWND>(
        OpenNumberedWindow(OTHER_WINDOW, 700, 150, 200, 200, "other", WS_OVERLAPPEDWINDOW));
    ASSERT_NE(second, nullptr);
    const RECT secondRect = WindowRect(second);
    ASSERT_EQ(StartSizing(WMSZ_RIGHT), 0);
    EXPECT_EQ(TrackSizing(second, WM_KEYDOWN, VK_LEFT, 0), NOT_HANDLED);
    EXPECT_EQ(TrackSizing(second, WM_KEYDOWN, VK_RETURN, 0), NOT_HANDLED);
    EXPECT_EQ(TrackSizing(second, WM_SYSCOMMAND, SC_SIZE | WMSZ_LEFT, 0), NOT_HANDLED);
    EXPECT_EQ(tracker->active, 1);
    EXPECT_EQ(tracker->edge, WMSZ_RIGHT);
    EXPECT_EQ(GetCapture(), window);
    EXPECT_EQ(WindowRect(second), secondRect);
    SendMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(tracker->active, 0);
}

// Called directly: what the tracker does not take would start the platform's own modal loop.
TEST_F(SizingTrackerTest, TakesOnlyTheSizeCommandWithFullWindowDragging) {
    EXPECT_EQ(TrackSizing(window, WM_SYSCOMMAND, SC_MOVE | 2, 0), NOT_HANDLED);
    EXPECT_EQ(TrackSizing(window, WM_MOUSEMOVE, 0, 0), NOT_HANDLED);
    EXPECT_EQ(TrackSizing(window, WM_KEYDOWN, VK_RETURN, 0), NOT_HANDLED);
    EXPECT_EQ(tracker->active, 0);

    SetFullDrag(FALSE);
    EXPECT_EQ(TrackSizing(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0), NOT_HANDLED);
    EXPECT_EQ(tracker->active, 0);
    EXPECT_NE(GetCapture(), window);
    EXPECT_FALSE(Contains(EventsToMarker(), WM_ENTERSIZEMOVE));
}

// A child window's rectangle is placed in its parent's client coordinates.
TEST_F(SizingTrackerTest, ChildWindowsMoveInTheirParentsCoordinates) {
    HWND child = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(child, nullptr);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const RECT target = {origin.x + 30, origin.y + 40, origin.x + 80, origin.y + 60};
    MoveWindowToRect(child, &target);
    EXPECT_EQ(WindowRect(child), target);
    RECT inParent = WindowRect(child);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&inParent), 2);
    EXPECT_EQ(inParent, (RECT{30, 40, 80, 60}));
    DestroyWindow(child);
}

// Keys go to the focus: with a control focused, keyboard sizing takes the focus to the window so
// that the arrows and Enter reach it, and gives it back at the end.
TEST_F(SizingTrackerTest, KeyboardSizingWithAnEditControlFocused) {
    ASSERT_TRUE(testsupport::BringToFront(window));
    HWND edit = CreateWindowExA(0, "Edit", "abc", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20, window,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    SetFocus(edit);
    SetCursorPos((start.left + start.right) / 2, (start.top + start.bottom) / 2);
    CollectEvents();
    ASSERT_EQ(GetFocus(), edit);

    ASSERT_EQ(StartSizing(0), 0);
    CollectEvents();
    Press(VK_RIGHT);
    EXPECT_EQ(tracker->edge, WMSZ_RIGHT) << "the arrow went to the control";
    Press(VK_RETURN);
    EXPECT_EQ(tracker->active, 0) << "Enter did not end the sizing";
    EXPECT_EQ(GetFocus(), edit);
    DestroyWindow(edit);
}

} // namespace
