// Tab in windows with rich-text controls: the accelerator lookup leaves Tab to an editable one.
#include <gtest/gtest.h>
#include <richedit.h>

#include "gui/event_wait.h"
#include "gui/numbered_windows.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"

using testsupport::BringToFront;
using testsupport::CollectEvents;
using testsupport::PressKey;

namespace {

constexpr intptr_t RICH_WINDOW = 6;

// Classes that answer the options query like an editable rich-text control. Class names are
// compared case-blind by the platform, so the two names differ in more than case.
LRESULT CALLBACK FakeRichProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == EM_GETOPTIONS)
        return 0;
    if (message == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateClassControl(HWND parent, const char* className, DWORD style, int y) {
    return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 10, y, 200,
                           24, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// The accelerator lookup leaves Tab to an editable control whose class begins with "Rich"
// (case-sensitive); read-only ones and Shift+Tab still move the focus.
TEST(RichTextTab, EditableRichTextControlsKeepTheTab) {
    ASSERT_TRUE(testsupport::StartWindowLayer());
    ASSERT_NE(LoadLibraryA("riched20.dll"), nullptr);
    for (const char* name : {"RICHLABEL", "RichField"}) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = FakeRichProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = name;
        ASSERT_NE(RegisterClassA(&wc), 0) << name;
    }
    HWND window = reinterpret_cast<HWND>(
        OpenNumberedWindow(RICH_WINDOW, 200, 200, 300, 200, "rich", WS_CAPTION | WS_SYSMENU));
    ASSERT_NE(window, nullptr);
    HWND first = CreateClassControl(window, "Button", 0, 0);
    HWND editable = CreateClassControl(window, "RichEdit20A", 0, 30);
    HWND readOnly = CreateClassControl(window, "RichEdit20A", ES_READONLY, 60);
    HWND capitals = CreateClassControl(window, "RICHLABEL", 0, 90);
    HWND lower = CreateClassControl(window, "RichField", 0, 120);
    HWND last = CreateClassControl(window, "Button", 0, 150);
    ASSERT_TRUE(first && editable && readOnly && capitals && lower && last);
    ASSERT_TRUE(BringToFront(window));

    struct Row {
        const char* name;
        HWND from;
        bool shift;
        HWND expected;
    } rows[] = {
        {"editable rich text keeps Tab", editable, false, editable},
        {"Shift+Tab leaves editable rich text", editable, true, first},
        {"read-only rich text passes Tab on", readOnly, false, capitals},
        {"a class named in capitals does not match", capitals, false, lower},
        {"an editable class beginning with Rich keeps Tab", lower, false, lower},
        {"an ordinary control passes Tab on", last, false, first},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetFocus(row.from);
        CollectEvents();
        ASSERT_EQ(GetFocus(), row.from);
        // Where the focus stays, only the thread's taking of the key tells that Tab was handled.
        ASSERT_TRUE(PressKey(VK_TAB, row.shift)) << "the key press never arrived";
        EXPECT_EQ(GetFocus(), row.expected);
    }
    // The Tab it kept arrived as input.
    char text[16] = {};
    GetWindowTextA(editable, text, sizeof text);
    EXPECT_STREQ(text, "\t");
    CloseNumberedWindow(RICH_WINDOW);
    CollectEvents();
}

} // namespace
