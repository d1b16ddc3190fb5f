// Tab and Shift+Tab as a user presses them in the tool's main window: real key input through
// the event wait's accelerator lookup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "gui/event_wait.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "tests/support/layers.h"
#include "tests/support/main_window_catalogue.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"

using testsupport::CollectEvents;
using testsupport::MAIN_WINDOW;
using testsupport::PORT;

namespace {

// The gadget number of the focus window, or -1 when it is no gadget.
intptr_t FocusedGadget() {
    HWND focus = GetFocus();
    if (!focus || !GetPropA(focus, "GX_ID"))
        return -1;
    return GetWindowLongA(focus, GWL_ID);
}

// Presses the key and lets the event wait run until the focus rests on the gadget expected, or
// until the thread has taken the key's release without that: the press is handled then, and the
// check after it fails at once instead of at a time-out.
void PressAndWait(WORD key, bool shift, intptr_t expected) {
    ASSERT_TRUE(testsupport::PressKey(key, shift, nullptr, [expected] {
        return FocusedGadget() == expected;
    })) << "the key press never arrived";
}

TEST(TabKeys, MoveTheFocusThroughTheMainWindowsFields) {
    ASSERT_TRUE(testsupport::StartWindowLayer());
    HWND window = OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(testsupport::BringToFront(window))
        << "the main window could not be made the foreground";
    // The port field is the first tab stop: Tab goes round from it and back to it, Shift+Tab the
    // other way.
    const std::vector<int> cycle = testsupport::TabCycle();
    ASSERT_EQ(cycle.front(), PORT);
    SetFocus(GadgetHandle(PORT));
    CollectEvents();
    ASSERT_EQ(FocusedGadget(), PORT);

    for (size_t i = 1; i <= cycle.size(); ++i) {
        const intptr_t expected = cycle[i % cycle.size()];
        SCOPED_TRACE("Tab to " + std::to_string(expected));
        PressAndWait(VK_TAB, false, expected);
        EXPECT_EQ(FocusedGadget(), expected);
    }
    for (size_t i = cycle.size(); i-- > 0;) {
        const intptr_t expected = cycle[i];
        SCOPED_TRACE("Shift+Tab to " + std::to_string(expected));
        PressAndWait(VK_TAB, true, expected);
        EXPECT_EQ(FocusedGadget(), expected);
    }
    // The keys were taken as commands, not typed into the fields.
    char text[32] = {};
    GetWindowTextA(GadgetHandle(PORT), text, sizeof text);
    EXPECT_STREQ(text, "888");
    CloseNumberedWindow(MAIN_WINDOW);
    CollectEvents();
}

} // namespace
