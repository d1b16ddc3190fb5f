// Colours of text and string gadgets: the colour messages' answers, shared background brushes
// and their release when gadgets change colour or go.
#include "gui/gadget_colours.h"

#include <gtest/gtest.h>

#include "gui/event_wait.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"

using testsupport::CollectEvents;

namespace {

constexpr intptr_t WINDOW = 5;
enum : intptr_t { TEXT_A = 1, TEXT_B = 2, FIELD = 3, READ_ONLY_FIELD = 4, BUTTON = 5 };
const COLORREF RED = RGB(200, 0, 0);
const COLORREF BLUE = RGB(0, 0, 180);
const COLORREF GREEN = RGB(0, 150, 0);

bool IsLiveBrush(HBRUSH brush) {
    return GetObjectType(brush) == OBJ_BRUSH;
}

class GadgetColoursTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::StartWindowLayer());
        window = reinterpret_cast<HWND>(
            OpenNumberedWindow(WINDOW, 150, 150, 300, 200, "colours", WS_CAPTION | WS_SYSMENU));
        ASSERT_NE(window, nullptr);
        ASSERT_NE(CreateTextGadget(TEXT_A, 10, 10, 120, 20, "a"), 0);
        ASSERT_NE(CreateTextGadget(TEXT_B, 10, 40, 120, 20, "b"), 0);
        ASSERT_NE(CreateStringGadget(FIELD, 10, 70, 120, 20, "field"), 0);
        ASSERT_NE(CreateStringGadget(READ_ONLY_FIELD, 10, 100, 120, 20, "read", ES_READONLY), 0);
        ASSERT_NE(CreateButtonGadget(BUTTON, 10, 130, 120, 20, "button"), 0);
        CollectEvents();
    }
    void TearDown() override {
        CloseNumberedWindow(WINDOW);
        CollectEvents();
        EXPECT_EQ(BrushCacheSize(), 0) << "a brush outlived its gadgets";
    }

    // Asks for a gadget's colours the way the platform does, through the window's procedure,
    // and keeps the colours the answer left on the device context.
    struct Answer {
        LRESULT result;
        COLORREF text;
        COLORREF background;
    };
    Answer AskColours(intptr_t gadget, UINT message) {
        HWND control = GadgetHandle(gadget);
        HDC context = GetDC(control);
        SetTextColor(context, RGB(1, 1, 1));
        SetBkColor(context, RGB(2, 2, 2));
        Answer answer;
        answer.result = SendMessageA(window, message, reinterpret_cast<WPARAM>(context),
                                     reinterpret_cast<LPARAM>(control));
        answer.text = GetTextColor(context);
        answer.background = GetBkColor(context);
        ReleaseDC(control, context);
        return answer;
    }
    LRESULT Dispatch(intptr_t gadget, UINT message) {
        HWND control = GadgetHandle(gadget);
        HDC context = GetDC(control);
        LRESULT result =
            DispatchGadgetMessage(control, window, message, reinterpret_cast<WPARAM>(context),
                                  reinterpret_cast<LPARAM>(control));
        ReleaseDC(control, context);
        return result;
    }
    HBRUSH BrushOf(intptr_t gadget) { return FindGadget(gadget)->backBrush; }

    HWND window = nullptr;
};

TEST_F(GadgetColoursTest, ATextColourAlonePaintsOnTheKindsDefault) {
    struct Row {
        const char* name;
        intptr_t gadget;
        UINT message;
        int defaultColour;
    } rows[] = {
        {"text gadget", TEXT_A, WM_CTLCOLORSTATIC, COLOR_BTNFACE},
        {"string gadget", FIELD, WM_CTLCOLOREDIT, COLOR_BTNHIGHLIGHT},
        {"read-only string gadget", READ_ONLY_FIELD, WM_CTLCOLORSTATIC, COLOR_BTNHIGHLIGHT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Dispatch(row.gadget, row.message), NOT_HANDLED) << "no colour, yet answered";
        ASSERT_TRUE(SetGadgetColour(row.gadget, GADGET_COLOUR_TEXT, RED));
        const Answer answer = AskColours(row.gadget, row.message);
        EXPECT_EQ(answer.result, reinterpret_cast<LRESULT>(GetSysColorBrush(row.defaultColour)));
        EXPECT_EQ(answer.text, RED);
        EXPECT_EQ(answer.background, GetSysColor(row.defaultColour));
        EXPECT_EQ(BrushOf(row.gadget), nullptr);
    }
}

TEST_F(GadgetColoursTest, BackgroundAnswersTheGadgetsOwnBrush) {
    ASSERT_TRUE(SetGadgetColour(TEXT_A, GADGET_COLOUR_BACKGROUND, BLUE));
    HBRUSH brush = BrushOf(TEXT_A);
    ASSERT_NE(brush, nullptr);
    Answer answer = AskColours(TEXT_A, WM_CTLCOLORSTATIC);
    EXPECT_EQ(answer.result, reinterpret_cast<LRESULT>(brush));
    EXPECT_EQ(answer.background, BLUE);
    EXPECT_EQ(answer.text, RGB(1, 1, 1)) << "the text colour was touched without one set";

    // Both colours: the text colour and the own brush.
    ASSERT_TRUE(SetGadgetColour(TEXT_A, GADGET_COLOUR_TEXT, GREEN));
    answer = AskColours(TEXT_A, WM_CTLCOLORSTATIC);
    EXPECT_EQ(answer.result, reinterpret_cast<LRESULT>(brush));
    EXPECT_EQ(answer.text, GREEN);
    EXPECT_EQ(answer.background, BLUE);

    // The painted label shows the colour, through the platform's own paint.
    HWND control = GadgetHandle(TEXT_A);
    const auto corner = [control] {
        HDC context = GetDC(control);
        RECT client;
        GetClientRect(control, &client);
        const COLORREF colour = GetPixel(context, client.right - 2, client.bottom - 2);
        ReleaseDC(control, context);
        return colour;
    };
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    testsupport::EventsUntil([&corner] { return corner() == BLUE; });
    EXPECT_EQ(corner(), BLUE);
}

TEST_F(GadgetColoursTest, MessagesTheKindsDoNotAnswer) {
    for (intptr_t gadget : {TEXT_A, FIELD, READ_ONLY_FIELD}) {
        ASSERT_TRUE(SetGadgetColour(gadget, GADGET_COLOUR_TEXT, RED));
        ASSERT_TRUE(SetGadgetColour(gadget, GADGET_COLOUR_BACKGROUND, BLUE));
    }
    EXPECT_EQ(Dispatch(TEXT_A, WM_CTLCOLOREDIT), NOT_HANDLED);
    EXPECT_EQ(Dispatch(TEXT_A, WM_CTLCOLORBTN), NOT_HANDLED);
    EXPECT_EQ(Dispatch(FIELD, WM_CTLCOLORBTN), NOT_HANDLED);
    EXPECT_NE(Dispatch(READ_ONLY_FIELD, WM_CTLCOLORSTATIC), NOT_HANDLED);
    // A disabled field keeps the platform's look.
    EnableWindow(GadgetHandle(READ_ONLY_FIELD), FALSE);
    EXPECT_EQ(Dispatch(READ_ONLY_FIELD, WM_CTLCOLORSTATIC), NOT_HANDLED);
    const Answer answer = AskColours(READ_ONLY_FIELD, WM_CTLCOLORSTATIC);
    EXPECT_NE(answer.result, reinterpret_cast<LRESULT>(BrushOf(READ_ONLY_FIELD)));
    EXPECT_NE(answer.text, RED);
}

TEST_F(GadgetColoursTest, EqualBackgroundsShareOneBrushUntilTheLastLetsGo) {
    ASSERT_TRUE(SetGadgetColour(TEXT_A, GADGET_COLOUR_BACKGROUND, BLUE));
    ASSERT_TRUE(SetGadgetColour(FIELD, GADGET_COLOUR_BACKGROUND, BLUE));
    HBRUSH shared = BrushOf(TEXT_A);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(BrushOf(FIELD), shared);
    EXPECT_EQ(BrushCacheSize(), 1);

    ASSERT_TRUE(SetGadgetColour(FIELD, GADGET_COLOUR_BACKGROUND, GREEN));
    EXPECT_TRUE(IsLiveBrush(shared)) << "deleted while the first gadget still holds it";
    EXPECT_NE(BrushOf(FIELD), shared);
    ASSERT_TRUE(SetGadgetColour(TEXT_A, GADGET_COLOUR_BACKGROUND, GADGET_COLOUR_NONE));
    EXPECT_EQ(BrushOf(TEXT_A), nullptr);
    EXPECT_EQ(GetObjectType(shared), 0u) << "the last holder let go, yet the brush lives";
    EXPECT_EQ(Dispatch(TEXT_A, WM_CTLCOLORSTATIC), NOT_HANDLED);

    // Destroying a gadget lets go of its brush too.
    ASSERT_TRUE(SetGadgetColour(TEXT_B, GADGET_COLOUR_BACKGROUND, GREEN));
    HBRUSH green = BrushOf(TEXT_B);
    EXPECT_EQ(green, BrushOf(FIELD));
    DestroyGadget(TEXT_B);
    EXPECT_TRUE(IsLiveBrush(green));
    DestroyGadget(FIELD);
    EXPECT_EQ(GetObjectType(green), 0u);
}

// Closing the window tears every gadget down with it; no brush may stay behind.
TEST_F(GadgetColoursTest, ClosingTheWindowDeletesEveryBrush) {
    const COLORREF colours[] = {BLUE, GREEN, BLUE, RED};
    const intptr_t gadgets[] = {TEXT_A, TEXT_B, FIELD, READ_ONLY_FIELD};
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(SetGadgetColour(gadgets[i], GADGET_COLOUR_BACKGROUND, colours[i]));
        brushes.push_back(BrushOf(gadgets[i]));
    }
    EXPECT_EQ(BrushCacheSize(), 3);
    CloseNumberedWindow(WINDOW);
    CollectEvents();
    for (HBRUSH brush : brushes)
        EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_EQ(BrushCacheSize(), 0);
}

TEST_F(GadgetColoursTest, WhichSelectsTheColour) {
    ASSERT_TRUE(SetGadgetColour(FIELD, GADGET_COLOUR_TEXT, RED));
    ASSERT_TRUE(SetGadgetColour(FIELD, GADGET_COLOUR_BACKGROUND, BLUE));
    EXPECT_EQ(GetGadgetColour(FIELD, GADGET_COLOUR_TEXT), RED);
    EXPECT_EQ(GetGadgetColour(FIELD, GADGET_COLOUR_BACKGROUND), BLUE);
    EXPECT_EQ(GetGadgetColour(FIELD, 3), GADGET_COLOUR_NONE);
    EXPECT_EQ(GetGadgetColour(TEXT_B, GADGET_COLOUR_TEXT), GADGET_COLOUR_NONE);

    // Which = 3 changes nothing but still redraws the control.
    HWND control = GadgetHandle(FIELD);
    CollectEvents();
    ValidateRect(control, nullptr);
    ASSERT_FALSE(GetUpdateRect(control, nullptr, FALSE));
    ASSERT_TRUE(SetGadgetColour(FIELD, 3, GREEN));
    EXPECT_TRUE(GetUpdateRect(control, nullptr, FALSE));
    EXPECT_EQ(GetGadgetColour(FIELD, GADGET_COLOUR_TEXT), RED);
    EXPECT_EQ(GetGadgetColour(FIELD, GADGET_COLOUR_BACKGROUND), BLUE);

    // Buttons have no colours, and a number without gadget has nothing.
    EXPECT_FALSE(SetGadgetColour(BUTTON, GADGET_COLOUR_TEXT, RED));
    EXPECT_EQ(GetGadgetColour(BUTTON, GADGET_COLOUR_TEXT), GADGET_COLOUR_NONE);
    EXPECT_FALSE(SetGadgetColour(99, GADGET_COLOUR_TEXT, RED));
    EXPECT_EQ(GetGadgetColour(99, GADGET_COLOUR_TEXT), GADGET_COLOUR_NONE);
}

} // namespace
