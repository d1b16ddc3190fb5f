// Focus cycling on plain windows and controls, called directly.
#include "gui/focus_cycling.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"

using testsupport::BringToFront;
using testsupport::PlainWindowClass;
using testsupport::PumpToMarker;

namespace {

const DWORD TAB_STOP = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int y) {
    return CreateWindowExA(0, cls, text, style, 10, y, 100, 20, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

const char* MdiChildClass() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "MDI_ChildClass";
        registered = RegisterClassA(&wc) != 0;
    }
    return "MDI_ChildClass";
}

class FocusCycling : public ::testing::Test {
  protected:
    void SetUp() override {
        top = CreateWindowExA(0, PlainWindowClass(), "focus", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                              100, 400, 400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(top, nullptr);
    }
    void TearDown() override {
        if (top)
            DestroyWindow(top);
        PumpToMarker();
    }
    void Activate() { ASSERT_TRUE(BringToFront(top)) << "the test window did not come to front"; }
    // Runs one cycle from a given focus and answers where the focus went, once what each focus
    // change queued has been handled.
    HWND Cycle(HWND from, int backward) {
        SetFocus(from);
        PumpToMarker();
        CycleFocus(backward);
        PumpToMarker();
        return GetFocus();
    }
    HWND top = nullptr;
};

// A window with eligible controls among ineligible ones, nested controls included.
TEST_F(FocusCycling, WalksEligibleControlsBothWaysWithWrapAround) {
    HWND a = Child(top, "Button", "a", TAB_STOP, 0);
    HWND label = Child(top, "Static", "label", WS_CHILD | WS_VISIBLE, 20);
    HWND b = Child(top, "Edit", "b", TAB_STOP | WS_BORDER, 40);
    HWND box = Child(top, "Static", "", WS_CHILD | WS_VISIBLE, 60);
    SetWindowPos(box, nullptr, 10, 60, 200, 60, SWP_NOZORDER);
    HWND nested = Child(box, "Button", "nested", TAB_STOP, 20);
    HWND disabled = Child(top, "Button", "disabled", TAB_STOP | WS_DISABLED, 140);
    HWND hidden = Child(top, "Button", "hidden", WS_CHILD | WS_TABSTOP, 160);
    HWND e = Child(top, "Button", "e", TAB_STOP, 180);
    ASSERT_TRUE(a && label && b && box && nested && disabled && hidden && e);
    Activate();

    struct Row {
        const char* name;
        HWND from;
        int backward;
        HWND expected;
    } rows[] = {
        {"a forward", a, 0, b},
        {"b forward", b, 0, nested},
        {"nested forward", nested, 0, e},
        {"last forward wraps to first", e, 0, a},
        {"first backward wraps to last", a, 1, e},
        {"e backward skips hidden and disabled", e, 1, nested},
        {"nested backward", nested, 1, b},
        {"b backward", b, 1, a},
        {"window itself forward", top, 0, a},
        {"window itself backward", top, 1, e},
        {"not eligible forward stays", label, 0, label},
        {"not eligible backward takes last", label, 1, e},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Cycle(row.from, row.backward), row.expected);
    }

    // No focus at all in the thread: forward takes the first, backward the last.
    SetFocus(nullptr);
    CycleFocus(0);
    EXPECT_EQ(GetFocus(), a);
    SetFocus(nullptr);
    CycleFocus(1);
    EXPECT_EQ(GetFocus(), e);
}

TEST_F(FocusCycling, NoneOrOneEligibleControl) {
    HWND label = Child(top, "Static", "label", WS_CHILD | WS_VISIBLE, 0);
    HWND off = Child(top, "Button", "off", TAB_STOP | WS_DISABLED, 20);
    ASSERT_TRUE(label && off);
    Activate();
    for (int backward = 0; backward < 2; ++backward) {
        SCOPED_TRACE(backward ? "backward, none eligible" : "forward, none eligible");
        SetFocus(top);
        EXPECT_EQ(CycleFocus(backward), 0);
        EXPECT_EQ(GetFocus(), top);
    }

    HWND only = Child(top, "Button", "only", TAB_STOP, 40);
    ASSERT_NE(only, nullptr);
    for (int backward = 0; backward < 2; ++backward) {
        SCOPED_TRACE(backward ? "backward, one eligible" : "forward, one eligible");
        EXPECT_EQ(Cycle(only, backward), only);
        EXPECT_EQ(Cycle(top, backward), only);
    }
}

// The walk stays inside the outermost multiple-document child that holds the focus.
TEST_F(FocusCycling, StaysInsideTheOutermostMdiChild) {
    HWND outside1 = Child(top, "Button", "outside1", TAB_STOP, 0);
    HWND mdi = CreateWindowExA(0, MdiChildClass(), "", WS_CHILD | WS_VISIBLE, 10, 30, 300, 200, top,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(mdi, nullptr);
    HWND m1 = Child(mdi, "Button", "m1", TAB_STOP, 0);
    HWND inner = CreateWindowExA(0, MdiChildClass(), "", WS_CHILD | WS_VISIBLE, 10, 30, 200, 100,
                                 mdi, nullptr, GetModuleHandleA(nullptr), nullptr);
    HWND i1 = Child(inner, "Button", "i1", TAB_STOP, 0);
    HWND m2 = Child(mdi, "Button", "m2", TAB_STOP, 150);
    HWND outside2 = Child(top, "Button", "outside2", TAB_STOP, 250);
    ASSERT_TRUE(outside1 && m1 && inner && i1 && m2 && outside2);
    Activate();

    struct Row {
        const char* name;
        HWND from;
        int backward;
        HWND expected;
    } rows[] = {
        {"m1 forward", m1, 0, i1},
        {"i1 forward (outer child is the root)", i1, 0, m2},
        {"m2 forward wraps inside", m2, 0, m1},
        {"m1 backward wraps inside", m1, 1, m2},
        {"mdi child itself forward", mdi, 0, m1},
        {"mdi child itself backward", mdi, 1, m2},
        {"inner mdi child itself forward", inner, 0, m1},
        {"outside forward passes through", outside1, 0, m1},
        {"outside backward wraps to the end", outside1, 1, outside2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Cycle(row.from, row.backward), row.expected);
    }
}

} // namespace
