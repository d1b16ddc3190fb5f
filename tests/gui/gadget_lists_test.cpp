// Gadget lists per window: the current list and the saved lists, and the one owner of each
// container array.
#include <gtest/gtest.h>

#include <string>

#include "gui/event_wait.h"
#include "gui/gadget_lists.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"
#include "tests/support/message_sequence.h"

using namespace testsupport;

namespace {

GadgetStack* StackOf(HWND window) {
    char name[40];
    FormatGadgetStackName(name);
    return static_cast<GadgetStack*>(GetPropA(window, name));
}

class GadgetListTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testsupport::StartWindowLayer()); }
    void TearDown() override {
        CloseAllWindows();
        CollectEvents();
    }
};

TEST_F(GadgetListTest, SwitchingSavesAndRestoresEachWindowsContext) {
    GadgetListState* state = CurrentGadgetListState();
    HWND* initialArray = state->containerStack;
    ASSERT_NE(initialArray, nullptr);

    // The first window keeps the state's array, with depth 0.
    HWND a = reinterpret_cast<HWND>(
        OpenNumberedWindow(1, 10, 10, 100, 100, "a", WINDOW_INVISIBLE | WINDOW_KEEP_GADGET_LIST));
    HWND b = reinterpret_cast<HWND>(
        OpenNumberedWindow(2, 10, 10, 100, 100, "b", WINDOW_INVISIBLE | WINDOW_KEEP_GADGET_LIST));
    EXPECT_EQ(SwitchGadgetList(nullptr), state->currentParent);
    SwitchGadgetList(a);
    EXPECT_EQ(state->currentParent, a);
    EXPECT_EQ(state->depth, 0);
    HWND* arrayOfA = state->containerStack;
    ASSERT_NE(arrayOfA, nullptr);
    ASSERT_NE(StackOf(a), nullptr);
    EXPECT_EQ(StackOf(a)->window, a);
    // The property carries the whole module handle, which lies above 4 GB in a 64-bit build.
    char name[40];
    FormatGadgetStackName(name);
    EXPECT_EQ(std::string("GX_GadgetStack_") +
                  std::to_string(reinterpret_cast<intptr_t>(GetModuleHandleA(nullptr))),
              name);
    EXPECT_EQ(StackOf(a)->containerStack, nullptr) << "the current list's record owns no array";
    // Something that a container operation would leave behind.
    state->capacity = 7;

    // Switching to the current window leaves the state as it was.
    EXPECT_EQ(SwitchGadgetList(a), a);
    EXPECT_EQ(state->currentParent, a);
    EXPECT_EQ(state->containerStack, arrayOfA);
    EXPECT_EQ(state->capacity, 7);

    EXPECT_EQ(SwitchGadgetList(b), a);
    EXPECT_EQ(state->currentParent, b);
    EXPECT_EQ(StackOf(a)->containerStack, arrayOfA) << "a's array passed to its record";
    EXPECT_EQ(StackOf(a)->capacity, 7);
    EXPECT_NE(state->containerStack, nullptr);
    EXPECT_NE(state->containerStack, arrayOfA);
    EXPECT_EQ(state->capacity, 10);

    EXPECT_EQ(SwitchGadgetList(a), b);
    EXPECT_EQ(state->currentParent, a);
    EXPECT_EQ(state->containerStack, arrayOfA);
    EXPECT_EQ(state->capacity, 7);
    EXPECT_EQ(StackOf(a)->containerStack, nullptr);
    EXPECT_NE(StackOf(b)->containerStack, nullptr);

    // Gadgets go to the current list's window.
    HWND control = reinterpret_cast<HWND>(CreateButtonGadget(1, 0, 0, 10, 10, "x"));
    EXPECT_EQ(GetParent(control), a);
}

TEST_F(GadgetListTest, DestroyingWindowsFreesTheirRecords) {
    GadgetListState* state = CurrentGadgetListState();
    HWND a = reinterpret_cast<HWND>(OpenNumberedWindow(1, 10, 10, 100, 100, "a", WINDOW_INVISIBLE));
    HWND b = reinterpret_cast<HWND>(OpenNumberedWindow(2, 10, 10, 100, 100, "b", WINDOW_INVISIBLE));
    EXPECT_EQ(state->currentParent, b);
    HWND* arrayOfB = state->containerStack;

    // A window whose list is not current takes its record and saved array along.
    testsupport::MessageRecorder recorder({WM_NCDESTROY});
    recorder.Watch(a);
    CloseNumberedWindow(1);
    EXPECT_EQ(recorder.Count(WM_NCDESTROY), 1u);
    EXPECT_EQ(state->currentParent, b);
    EXPECT_EQ(state->containerStack, arrayOfB);

    // Destroying the current list's window leaves no current list; gadget creation fails.
    CloseNumberedWindow(2);
    EXPECT_EQ(state->currentParent, nullptr);
    EXPECT_EQ(state->depth, 0);
    EXPECT_EQ(state->containerStack, arrayOfB) << "the state keeps its array";
    EXPECT_EQ(CreateStringGadget(3, 0, 0, 10, 10, "x"), 0);

    // The next window becomes current with the state's array.
    HWND c = reinterpret_cast<HWND>(OpenNumberedWindow(3, 10, 10, 100, 100, "c", WINDOW_INVISIBLE));
    EXPECT_EQ(state->currentParent, c);
    EXPECT_EQ(state->containerStack, arrayOfB);
    EXPECT_NE(CreateStringGadget(3, 0, 0, 10, 10, "x"), 0);
    (void)a;
}

TEST_F(GadgetListTest, KeptListWindowGetsNoRecord) {
    HWND a = reinterpret_cast<HWND>(OpenNumberedWindow(1, 10, 10, 100, 100, "a", WINDOW_INVISIBLE));
    HWND kept = reinterpret_cast<HWND>(
        OpenNumberedWindow(2, 10, 10, 100, 100, "k", WINDOW_INVISIBLE | WINDOW_KEEP_GADGET_LIST));
    EXPECT_EQ(StackOf(kept), nullptr);
    HWND control = reinterpret_cast<HWND>(CreateTextGadget(1, 0, 0, 10, 10, "x"));
    EXPECT_EQ(GetParent(control), a);
}

} // namespace
