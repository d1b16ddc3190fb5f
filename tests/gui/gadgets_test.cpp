// Gadgets: creation and styles, number reuse, routing, focus notices, text and teardown.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "gui/event_wait.h"
#include "gui/gadget_lists.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "runtime/string_workspace.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"
#include "tests/support/message_sequence.h"

using namespace testsupport;

namespace {

constexpr intptr_t WINDOW = 14;

// One visible window serves the suite while it lives (under Wine without a window manager every
// visible window takes two seconds to close); each test starts with its list current and no
// gadgets in it.
class GadgetTest : public ::testing::Test {
  protected:
    static void TearDownTestSuite() {
        CloseAllWindows();
        CollectEvents();
    }
    void SetUp() override {
        ASSERT_TRUE(testsupport::StartWindowLayer());
        window_ = NumberedWindowHandle(WINDOW);
        if (!window_) {
            window_ = OpenTestWindow(WINDOW);
        }
        ASSERT_NE(window_, nullptr);
        SwitchGadgetList(window_);
        SetForegroundWindow(window_);
        SetFocus(window_);
        CollectEvents();
    }
    void TearDown() override {
        ObjectTableRewind(GadgetTable());
        intptr_t number;
        while (ObjectTableNext(GadgetTable(), &number)) {
            DestroyGadget(number);
        }
        CollectEvents();
    }
    HWND window_ = nullptr;
};

TEST_F(GadgetTest, KindsStylesAndRegistration) {
    struct Row {
        const char* name;
        intptr_t (*create)(intptr_t, int32_t, int32_t, int32_t, int32_t, const char*, int32_t);
        int32_t flags;
        const char* className;
        DWORD style;        // bits that must be set
        DWORD absentStyle;  // bits that must be clear
        DWORD extendedEdge; // WS_EX_CLIENTEDGE expected or 0
        GadgetKind kind;
    };
    const Row rows[] = {
        {"text", CreateTextGadget, 0, "Static", 0x50020000, WS_TABSTOP, 0, GadgetKind::Text},
        {"text centred, sunken", CreateTextGadget, SS_CENTER | 0x20000, "Static",
         0x50020000 | SS_CENTER, WS_TABSTOP, WS_EX_CLIENTEDGE, GadgetKind::Text},
        {"string", CreateStringGadget, 0, "Edit", 0x50030080, 0, WS_EX_CLIENTEDGE,
         GadgetKind::String},
        {"string number, read-only, flat", CreateStringGadget, ES_NUMBER | ES_READONLY | 0x20000,
         "Edit", 0x50030080 | ES_NUMBER | ES_READONLY, 0, 0, GadgetKind::String},
        {"button", CreateButtonGadget, 0, "Button", 0x50030000, 0, 0, GadgetKind::Button},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        intptr_t result = row.create(6, 10, 10, 100, 24, "Inhalt", row.flags);
        HWND control = GadgetHandle(6);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(result, reinterpret_cast<intptr_t>(control));
        EXPECT_EQ(GetParent(control), window_);
        char className[32];
        GetClassNameA(control, className, sizeof className);
        EXPECT_STRCASEEQ(className, row.className);
        DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(style & row.style, row.style);
        EXPECT_EQ(style & row.absentStyle, 0u);
        DWORD extended = static_cast<DWORD>(GetWindowLongA(control, GWL_EXSTYLE));
        EXPECT_EQ(extended & WS_EX_CLIENTEDGE, row.extendedEdge);
        EXPECT_EQ(GetWindowLongA(control, GWL_ID), 6);
        EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(control, "GX_ID")), 6);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)),
                  CurrentGadgetListState()->font);
        GadgetRecord* record = FindGadget(6);
        ASSERT_NE(record, nullptr);
        ASSERT_NE(record->gadgetClass, nullptr);
        EXPECT_EQ(record->gadgetClass->kind, row.kind);
        EXPECT_EQ(record->gadgetClass->size, sizeof(void*) == 4 ? 148 : 288);
        if (row.kind != GadgetKind::Button) {
            EXPECT_EQ(record->frontColour, GADGET_COLOUR_NONE);
            EXPECT_EQ(record->backColour, GADGET_COLOUR_NONE);
        }
        DestroyGadget(6);
        EXPECT_FALSE(IsWindow(control));
        EXPECT_EQ(FindGadget(6), nullptr);
    }
}

// Notes, when the old control is torn down, whether its successor already exists.
HWND watchedParent = nullptr;
bool successorAtTeardown = false;
bool teardownSeen = false;
WNDPROC oldButtonProc = nullptr;
LRESULT CALLBACK NoteTeardown(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
        teardownSeen = true;
        successorAtTeardown = FindWindowExA(watchedParent, nullptr, "Edit", nullptr) != nullptr;
    }
    return CallWindowProcA(oldButtonProc, control, message, wParam, lParam);
}

TEST_F(GadgetTest, ReusingANumberDestroysTheOldControlOnlyAfterTheNewOneExists) {
    HWND old = reinterpret_cast<HWND>(CreateButtonGadget(8, 10, 10, 80, 24, "alt"));
    ASSERT_NE(old, nullptr);
    watchedParent = window_;
    oldButtonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(old, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NoteTeardown)));
    HWND replacement = reinterpret_cast<HWND>(CreateStringGadget(8, 10, 40, 80, 24, "neu"));
    ASSERT_NE(replacement, nullptr);
    EXPECT_TRUE(teardownSeen);
    EXPECT_TRUE(successorAtTeardown) << "the old control went before the new one existed";
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(GadgetHandle(8), replacement);
    EXPECT_EQ(FindGadget(8)->gadgetClass->kind, GadgetKind::String);
}

TEST_F(GadgetTest, AFailedCreationLeavesTheOldGadget) {
    HWND kept = reinterpret_cast<HWND>(CreateTextGadget(3, 10, 10, 80, 24, "bleibt"));
    ASSERT_NE(kept, nullptr);
    // Another window becomes current and is destroyed: there is no current list.
    HWND other = OpenTestWindow(15, WINDOW_INVISIBLE);
    DestroyWindow(other);
    EXPECT_EQ(CurrentGadgetListState()->currentParent, nullptr);
    EXPECT_EQ(CreateTextGadget(3, 10, 10, 80, 24, "neu"), 0);
    EXPECT_EQ(GadgetHandle(3), kept);
    char text[16];
    GetWindowTextA(kept, text, sizeof text);
    EXPECT_STREQ(text, "bleibt");
}

int kindAnswers = 0;
int kindCommands = 0;
LRESULT AnswerEverything(GadgetRecord*, HWND, UINT message, WPARAM, LPARAM) {
    ++kindAnswers;
    if (message == WM_COMMAND) {
        ++kindCommands;
        return 0;
    }
    return 1234;
}

TEST_F(GadgetTest, MessagesReachTheControlsKindAlsoForGadgetZero) {
    // A kind of the test's own, registered through the shared step.
    static GadgetClass answering = {};
    answering.kind = GadgetKind::Button;
    answering.size = sizeof(GadgetClass);
    answering.parentMessage = AnswerEverything;
    HWND control = CreateWindowExA(0, "Button", "x", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(-1)),
                                   GetModuleHandleA(nullptr), nullptr);
    GadgetRecord* record = static_cast<GadgetRecord*>(ObjectTableAllocate(GadgetTable(), 0));
    ASSERT_TRUE(control && record);
    EXPECT_EQ(RegisterGadget(0, record, control, &answering), reinterpret_cast<intptr_t>(control));
    EXPECT_EQ(GetWindowLongA(control, GWL_ID), 0);

    kindAnswers = 0;
    kindCommands = 0;
    EXPECT_EQ(DispatchGadgetMessage(control, window_, WM_CTLCOLORBTN, 0, 0), 1234);
    EXPECT_EQ(SendMessageA(window_, MSG_GADGET_FORWARD, 0, reinterpret_cast<LPARAM>(control)),
              1234);
    // A consumed command makes no gadget event.
    PostMessageA(control, BM_CLICK, 0, 0);
    EXPECT_EQ(WaitEvent(1000), static_cast<int32_t>(BM_CLICK));
    EXPECT_EQ(kindCommands, 1);
    CollectEvents();
    int answers = kindAnswers;

    // An unregistered control with identifier 0 is no gadget, even while gadget 0 exists.
    HWND stranger = CreateWindowExA(0, "Button", "y", WS_CHILD, 0, 0, 50, 20, window_, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(DispatchGadgetMessage(stranger, window_, WM_CTLCOLORBTN, 0, 0), NOT_HANDLED);
    EXPECT_EQ(DispatchGadgetMessage(nullptr, window_, WM_CTLCOLORBTN, 0, 0), NOT_HANDLED);
    EXPECT_EQ(kindAnswers, answers);
    DestroyWindow(stranger);

    // A button of the layer's own kind as gadget 0 makes an ordinary click event.
    ASSERT_NE(CreateButtonGadget(0, 0, 0, 50, 20, "null"), 0);
    EXPECT_FALSE(IsWindow(control));
    CollectEvents();
    PostMessageA(GadgetHandle(0), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitEvent(1000), EVENT_GADGET);
    EXPECT_EQ(CurrentEventGadget(), 0);
}

TEST_F(GadgetTest, StringGadgetsPostFocusNoticesAfterTheFocusHasMoved) {
    intptr_t first = CreateStringGadget(AUTO_NUMBER, 10, 10, 100, 20, "eins");
    ASSERT_NE(first, 0);
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(first)));
    ASSERT_NE(CreateStringGadget(2, 10, 40, 100, 20, "zwei"), 0);
    ASSERT_NE(CreateButtonGadget(3, 10, 70, 100, 20, "drei"), 0);
    ASSERT_NE(CreateTextGadget(4, 10, 100, 100, 20, "vier"), 0);
    HWND one = GadgetHandle(first);
    HWND two = GadgetHandle(2);
    HWND three = GadgetHandle(3);
    SetFocus(three);
    CollectEvents();

    MessageRecorder recorder({GADGET_FOCUS_NOTICE});
    recorder.Watch(window_);
    std::vector<int32_t> events;
    for (HWND next : {one, two, three, GadgetHandle(4)}) {
        SetFocus(next);
        for (int32_t event : Only(CollectEvents(), {EVENT_GADGET})) {
            events.push_back(event);
        }
    }
    EXPECT_EQ(events.size(), 4u);

    // Each notice arrives when the focus already rests on the control that took it.
    const ExpectedMessage expected[] = {
        {GADGET_FOCUS_NOTICE, SEQ_WPARAM | SEQ_LPARAM | SEQ_FOCUS, static_cast<WPARAM>(first),
         FOCUS_GAINED, one},
        {GADGET_FOCUS_NOTICE, SEQ_WPARAM | SEQ_LPARAM | SEQ_FOCUS, static_cast<WPARAM>(first),
         FOCUS_LOST, two},
        {GADGET_FOCUS_NOTICE, SEQ_WPARAM | SEQ_LPARAM | SEQ_FOCUS, 2, FOCUS_GAINED, two},
        {GADGET_FOCUS_NOTICE, SEQ_WPARAM | SEQ_LPARAM | SEQ_FOCUS, 2, FOCUS_LOST, three},
        {0, 0, 0, 0, nullptr}};
    EXPECT_TRUE(SequenceMatches(recorder.Messages(), expected));
}

TEST_F(GadgetTest, FocusNoticeBecomesAGadgetEventWithItsType) {
    ASSERT_NE(CreateStringGadget(5, 10, 10, 100, 20, ""), 0);
    ASSERT_NE(CreateButtonGadget(6, 10, 40, 100, 20, "b"), 0);
    SetFocus(GadgetHandle(6));
    CollectEvents();
    SetFocus(GadgetHandle(5));
    // Sent focus messages run now; the notice waits in the queue for the event wait.
    EXPECT_EQ(GetFocus(), GadgetHandle(5));
    EXPECT_TRUE(WaitForEvent(EVENT_GADGET));
    EXPECT_EQ(CurrentEventGadget(), 5);
    EXPECT_EQ(CurrentEventState()->type, FOCUS_GAINED);
    EXPECT_EQ(CurrentEventState()->window, WINDOW);
}

// A control whose length answer over-reports, as some platforms' controls do.
WNDPROC innerProc = nullptr;
LRESULT CALLBACK OverReportLength(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcA(innerProc, control, message, wParam, lParam);
    return message == WM_GETTEXTLENGTH ? result + 10 : result;
}

TEST_F(GadgetTest, ReadGadgetTextLeavesThePositionOnTheTerminator) {
    StringWorkspace* workspace = Workspace();
    ASSERT_NE(CreateStringGadget(7, 10, 10, 150, 20, nullptr), 0);
    struct Row {
        const char* name;
        const char* text;
        int32_t offset;
    };
    const Row rows[] = {
        {"empty", "", 0},
        {"plain", "888", 3},
        {"German bytes", "F\xE4hre g\xFCltige Seitenl\xE4nge", 5},
        {"long, the workspace grows", "12345678901234567890123456789012345678901234567890", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteGadgetText(7, row.text);
        WorkspaceReserve(row.offset, 0);
        int32_t end = ReadGadgetText(7, row.offset);
        int32_t length = static_cast<int32_t>(std::strlen(row.text));
        EXPECT_EQ(end, row.offset + length);
        EXPECT_EQ(workspace->position, row.offset + length);
        EXPECT_EQ(std::string(workspace->buffer + row.offset), row.text);
        EXPECT_EQ(workspace->buffer[end], '\0');
        workspace->position = 0;
    }

    // The platform delivers fewer characters than it announced.
    HWND control = GadgetHandle(7);
    innerProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OverReportLength)));
    WriteGadgetText(7, "888");
    EXPECT_EQ(GetWindowTextLengthA(control), 13);
    EXPECT_EQ(ReadGadgetText(7, 0), 3);
    EXPECT_EQ(workspace->position, 3);
    EXPECT_STREQ(workspace->buffer, "888");
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(innerProc));
    workspace->position = 0;

    // No such gadget: 0, nothing written.
    workspace->buffer[0] = 'x';
    EXPECT_EQ(ReadGadgetText(99, 0), 0);
    EXPECT_EQ(workspace->buffer[0], 'x');

    // A null text empties the field.
    WriteGadgetText(7, nullptr);
    EXPECT_EQ(GetWindowTextLengthA(control), 0);
    WriteGadgetText(99, "nobody"); // no such gadget: nothing happens
}

struct WorkerRead {
    intptr_t number;
    char buffer[8];
    int32_t length;
    char small[4];
    int32_t smallLength;
    char missing[8];
    int32_t missingLength;
};

DWORD WINAPI ReadFromWorker(LPVOID parameter) {
    WorkerRead* read = static_cast<WorkerRead*>(parameter);
    read->length = ReadGadgetTextInto(read->number, read->buffer, sizeof read->buffer);
    read->smallLength = ReadGadgetTextInto(read->number, read->small, sizeof read->small);
    std::strcpy(read->missing, "junk");
    read->missingLength = ReadGadgetTextInto(4711, read->missing, sizeof read->missing);
    return 0;
}

TEST_F(GadgetTest, ReadGadgetTextIntoWorksFromAWorkerThreadWhileTheMainThreadWaits) {
    ASSERT_NE(CreateStringGadget(15, 10, 10, 150, 20, "888"), 0);
    WorkerRead read = {};
    read.number = 15;
    HANDLE worker = CreateThread(nullptr, 0, ReadFromWorker, &read, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    // The main thread answers the cross-thread text query inside its event wait.
    ASSERT_TRUE(EventsUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }))
        << "the worker hangs";
    CloseHandle(worker);
    EXPECT_EQ(read.length, 3);
    EXPECT_STREQ(read.buffer, "888");
    EXPECT_EQ(read.smallLength, 3);
    EXPECT_STREQ(read.small, "888");
    EXPECT_EQ(read.missingLength, 0);
    EXPECT_STREQ(read.missing, "");

    WriteGadgetText(15, "123456789");
    char local[5];
    EXPECT_EQ(ReadGadgetTextInto(15, local, sizeof local), 4);
    EXPECT_STREQ(local, "1234");
    EXPECT_EQ(ReadGadgetTextInto(15, local, 0), 0);
}

// After the teardown, every link from the control to its record is gone.
struct TeardownCheck {
    intptr_t number;
    bool checked;
    HANDLE property;
    LONG identifier;
    GadgetRecord* record;
};
TeardownCheck teardown = {};
WNDPROC gadgetChain = nullptr;
LRESULT CALLBACK CheckAfterTeardown(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcA(gadgetChain, control, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        teardown.checked = true;
        teardown.property = GetPropA(control, "GX_ID");
        teardown.identifier = GetWindowLongA(control, GWL_ID);
        teardown.record = FindGadget(teardown.number);
        // A late message after the teardown goes to the default procedure, not freed memory.
        CallWindowProcA(gadgetChain, control, WM_GETTEXTLENGTH, 0, 0);
    }
    return result;
}

TEST_F(GadgetTest, ClosingTheWindowTearsDownEveryGadget) {
    intptr_t automatic = CreateStringGadget(AUTO_NUMBER, 10, 10, 100, 20, "a");
    ASSERT_NE(CreateTextGadget(1, 10, 40, 100, 20, "b"), 0);
    HWND control = GadgetHandle(automatic);
    teardown = {automatic, false, nullptr, 0, nullptr};
    gadgetChain = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckAfterTeardown)));
    char name[40];
    FormatGadgetStackName(name);
    EXPECT_NE(GetPropA(window_, name), nullptr);

    CloseNumberedWindow(WINDOW);
    EXPECT_TRUE(teardown.checked);
    EXPECT_EQ(teardown.property, nullptr);
    EXPECT_EQ(teardown.identifier, -1);
    EXPECT_EQ(teardown.record, nullptr);
    EXPECT_EQ(FindGadget(1), nullptr);
    EXPECT_EQ(GadgetTable()->dynamicList, nullptr);
}

TEST(FindOwningWindow, StopsAtTheNumberedWindowOrTheTopmostAncestor) {
    ASSERT_TRUE(testsupport::StartWindowLayer());
    HWND window = OpenTestWindow(30, WINDOW_INVISIBLE);
    HWND inner = CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 10, 10, window, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    HWND innermost = CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 5, 5, inner, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(FindOwningWindow(innermost), window);
    EXPECT_EQ(FindOwningWindow(window), window);
    RemovePropA(window, "GX_WindowID");
    EXPECT_EQ(FindOwningWindow(innermost), window) << "the topmost ancestor";
    SetPropA(window, "GX_WindowID", reinterpret_cast<HANDLE>(31));
    SetPropA(inner, "GX_WindowID", reinterpret_cast<HANDLE>(99));
    EXPECT_EQ(FindOwningWindow(innermost), inner);
    RemovePropA(inner, "GX_WindowID");
    CloseNumberedWindow(30);
}

} // namespace
