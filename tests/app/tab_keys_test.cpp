// Tab and Shift+Tab as a user presses them in the tool's main window: real key input through
// the event wait's accelerator lookup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "gui/event_wait.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "tests/support/layer_setup.h"
#include "tests/support/pump.h"

using interaction::BringToFront;
using interaction::TypeKey;
using interaction::WaitEvents;

namespace {

constexpr intptr_t MAIN_WINDOW = 14;

// The gadget number of the focus window, or -1 when it is no gadget.
intptr_t FocusedGadget() {
    HWND focus = GetFocus();
    if (!focus || !GetPropA(focus, "GX_ID"))
        return focus && GetPropA(focus, "GX_ID") ? 0 : -1;
    return GetWindowLongA(focus, GWL_ID);
}

// Presses the key and lets the event wait run until the focus has settled.
void PressAndWait(WORD key, bool shift) {
    TypeKey(key, shift);
    WaitEvents(120);
}

TEST(TabKeys, MoveTheFocusThroughTheMainWindowsFields) {
    interaction::StartLayer();
    HWND window = OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(BringToFront(window)) << "the main window could not be made the foreground";
    SetFocus(GadgetHandle(15));
    WaitEvents(100);
    ASSERT_EQ(FocusedGadget(), 15);

    const intptr_t forward[] = {5, 7, 8, 9, 11, 19, 12, 20, 18, 21, 23, 24, 26, 16, 15};
    for (intptr_t expected : forward) {
        SCOPED_TRACE("Tab to " + std::to_string(expected));
        PressAndWait(VK_TAB, false);
        EXPECT_EQ(FocusedGadget(), expected);
    }
    const intptr_t backward[] = {16, 26, 24, 23, 21, 18, 20, 12, 19, 11, 9, 8, 7, 5, 15};
    for (intptr_t expected : backward) {
        SCOPED_TRACE("Shift+Tab to " + std::to_string(expected));
        PressAndWait(VK_TAB, true);
        EXPECT_EQ(FocusedGadget(), expected);
    }
    // The keys were taken as commands, not typed into the fields.
    char text[32] = {};
    GetWindowTextA(GadgetHandle(15), text, sizeof text);
    EXPECT_STREQ(text, "888");
    CloseNumberedWindow(MAIN_WINDOW);
    WaitEvents(50);
}

} // namespace
