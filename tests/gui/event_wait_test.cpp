// The event wait and the message translation, at the message level under the real platform.
#include <gtest/gtest.h>
#include "gui/event_wait.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "gui/layer_posts.h"
#include "runtime/memory_heaps.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"
#include "tests/support/message_sequence.h"

using namespace testsupport;

namespace {

constexpr intptr_t WINDOW = 3;

// One visible window serves the whole suite: under Wine without a window manager every
// visible window takes two seconds to close.
class EventWaitTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(testsupport::StartWindowLayer());
        window_ = OpenTestWindow(WINDOW);
    }
    static void TearDownTestSuite() {
        CloseNumberedWindow(WINDOW);
        CollectEvents();
    }
    void SetUp() override {
        ASSERT_NE(window_, nullptr);
        CollectEvents();
    }
    void TearDown() override {
        SetEventCallback(nullptr);
        CollectEvents();
    }
    static HWND window_;
};
HWND EventWaitTest::window_ = nullptr;

int QueueLength() {
    int length = 0;
    for (QueuedEvent* e = CurrentEventState()->queueHead; e; e = e->next) {
        ++length;
    }
    return length;
}

TEST_F(EventWaitTest, PollWithNothingToDoReturnsNoneAtOnceAndDispatchesNothing) {
    MessageRecorder recorder;
    recorder.Watch(window_);
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitEvent(0), EVENT_NONE);
    // A hang guard, not a speed goal: a poll must not wait for input.
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_TRUE(recorder.Messages().empty());
}

TEST_F(EventWaitTest, TimedWaitReturnsNoneWhenTheTimePasses) {
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitEvent(60), EVENT_NONE);
    // GetTickCount ticks coarsely; the wait must not end long before its time.
    EXPECT_GE(GetTickCount() - start, 40u);
}

TEST(QueueEvent, ComparesOnlyTheNewestEntry) {
    ASSERT_TRUE(testsupport::StartWindowLayer());
    struct Row {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> appended;
        std::vector<std::pair<int32_t, int32_t>> expected;
    };
    const Row rows[] = {
        {"A, A", {{5, 1}, {5, 1}}, {{5, 1}}},
        {"A, B, A", {{5, 1}, {3, 1}, {5, 1}}, {{5, 1}, {3, 1}, {5, 1}}},
        {"same event, other window", {{5, 1}, {5, 2}}, {{5, 1}, {5, 2}}},
        {"A, A, A, B", {{5, 1}, {5, 1}, {5, 1}, {3, 1}}, {{5, 1}, {3, 1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (auto& [event, window] : row.appended) {
            QueueEvent(event, window);
        }
        EXPECT_EQ(QueueLength(), static_cast<int>(row.expected.size()));
        // The wait hands them out oldest first, each with its window.
        std::vector<std::pair<int32_t, int32_t>> drained;
        while (CurrentEventState()->queueHead) {
            int32_t event = WaitEvent(0);
            drained.emplace_back(event, CurrentEventState()->window);
        }
        EXPECT_EQ(drained, row.expected);
        EXPECT_EQ(CurrentEventState()->queueTail, nullptr);
    }
}

TEST_F(EventWaitTest, QueuedEventsComeOutBeforeAnyMessage) {
    QueueEvent(EVENT_WINDOW_MOVED, 7);
    QueueEvent(EVENT_CLOSE_WINDOW, 8);
    PostMessageA(window_, WM_USER + 5, 0, 0);
    CurrentEventState()->pendingEvent = EVENT_MENU; // set outside a wait: discarded

    EXPECT_EQ(WaitEvent(0), EVENT_WINDOW_MOVED);
    EXPECT_EQ(CurrentEventState()->type, -1);
    EXPECT_EQ(CurrentEventState()->window, 7);
    EXPECT_EQ(CurrentEventState()->pendingEvent, 0);
    MSG waiting;
    EXPECT_TRUE(PeekMessageA(&waiting, window_, WM_USER + 5, WM_USER + 5, PM_NOREMOVE))
        << "the wait looked at a message while events were queued";

    EXPECT_EQ(WaitEvent(0), EVENT_CLOSE_WINDOW);
    EXPECT_EQ(CurrentEventState()->window, 8);
    EXPECT_EQ(WaitEvent(0), static_cast<int32_t>(WM_USER + 5));
}

TEST_F(EventWaitTest, SizeMessagesQueueTheirCodes) {
    struct Row {
        const char* name;
        std::vector<std::pair<UINT, WPARAM>> sent;
        std::vector<int32_t> expected;
    };
    const Row rows[] = {
        {"sizes in a row queue 5 once", {{WM_SIZE, 0}, {WM_SIZE, 0}, {WM_SIZE, 0}}, {5}},
        {"moves and sizes alternating",
         {{WM_MOVE, 0}, {WM_SIZE, 0}, {WM_MOVE, 0}, {WM_SIZE, 0}},
         {3, 5, 3, 5}},
        {"minimise", {{WM_SIZE, SIZE_MINIMIZED}}, {13107}},
        {"minimise, restore",
         {{WM_SIZE, SIZE_MINIMIZED}, {WM_SIZE, SIZE_RESTORED}},
         {13107, 13109, 5}},
        {"maximise, restore",
         {{WM_SIZE, SIZE_MAXIMIZED}, {WM_SIZE, SIZE_RESTORED}},
         {13108, 5, 13109, 5}},
        {"restore without minimise", {{WM_SIZE, SIZE_RESTORED}}, {5}},
        {"other size type", {{WM_SIZE, SIZE_MAXSHOW}}, {5}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FindWindowRecord(WINDOW)->minOrMax = 0;
        for (auto& [message, wParam] : row.sent) {
            EXPECT_EQ(SendMessageA(window_, message, wParam, MAKELPARAM(300, 200)), 0);
        }
        std::vector<int32_t> events;
        while (CurrentEventState()->queueHead) {
            events.push_back(WaitEvent(0));
            EXPECT_EQ(CurrentEventState()->window, WINDOW);
        }
        EXPECT_EQ(events, row.expected);
    }
}

TEST_F(EventWaitTest, RealMinimiseMaximiseAndRestoreReportTheirStates) {
    ShowWindow(window_, SW_MINIMIZE);
    EXPECT_EQ(Only(CollectEvents(), {5, 13107, 13108, 13109}), (std::vector<int32_t>{13107}));
    ShowWindow(window_, SW_RESTORE);
    EXPECT_EQ(Only(CollectEvents(), {5, 13107, 13108, 13109}), (std::vector<int32_t>{13109, 5}));
    ShowWindow(window_, SW_MAXIMIZE);
    EXPECT_EQ(Only(CollectEvents(), {5, 13107, 13108, 13109}), (std::vector<int32_t>{13108, 5}));
    ShowWindow(window_, SW_RESTORE);
    EXPECT_EQ(Only(CollectEvents(), {5, 13107, 13108, 13109}), (std::vector<int32_t>{13109, 5}));
}

TEST_F(EventWaitTest, CloseBoxGivesCloseEventAndTheWindowStaysOpen) {
    PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitForEvent(EVENT_CLOSE_WINDOW));
    EXPECT_EQ(CurrentEventState()->window, WINDOW);
    PostMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForEvent(EVENT_CLOSE_WINDOW));
    CollectEvents();
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(NumberedWindowHandle(WINDOW), window_);
}

TEST_F(EventWaitTest, ButtonClickMakesTheDispatchingWaitReturnGadgetEvent) {
    ASSERT_NE(CreateButtonGadget(4, 10, 10, 80, 24, "OK"), 0);
    HWND button = GadgetHandle(4);
    CollectEvents();

    // A posted BM_CLICK: the click notice comes during the dispatch of that very message.
    PostMessageA(button, BM_CLICK, 0, 0);
    EXPECT_EQ(WaitEvent(1000), EVENT_GADGET);
    EXPECT_EQ(CurrentEventGadget(), 4);
    EXPECT_EQ(CurrentEventState()->type, BN_CLICKED);
    EXPECT_EQ(CurrentEventState()->window, WINDOW);
    CollectEvents();

    // Posted mouse input as it arrives from the user: the press comes back raw, the release
    // makes the click.
    PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(WaitEvent(1000), static_cast<int32_t>(WM_LBUTTONDOWN));
    std::vector<int32_t> before;
    EXPECT_TRUE(WaitForEvent(EVENT_GADGET, 2000, &before));
    EXPECT_EQ(CurrentEventGadget(), 4);
    EXPECT_EQ(CurrentEventState()->type, 0);
    for (int32_t event : before) {
        EXPECT_NE(event, static_cast<int32_t>(WM_LBUTTONUP)) << "the release came back raw";
    }
    DestroyGadget(4);
}

TEST_F(EventWaitTest, CommandsFromMenusAcceleratorsAndCommandBars) {
    // A menu command with the number of the Tab command is an ordinary menu event.
    PostMessageA(window_, WM_COMMAND, MAKEWPARAM(CMD_FOCUS_NEXT, 0), 0);
    EXPECT_EQ(WaitEvent(1000), EVENT_MENU);
    EXPECT_EQ(CurrentEventGadget(), CMD_FOCUS_NEXT);

    // From an accelerator it only moves the focus: the message comes back raw.
    PostMessageA(window_, WM_COMMAND, MAKEWPARAM(CMD_FOCUS_NEXT, 1), 0);
    EXPECT_EQ(WaitEvent(1000), static_cast<int32_t>(WM_COMMAND));

    PostMessageA(window_, WM_COMMAND, MAKEWPARAM(77, 1), 0);
    EXPECT_EQ(WaitEvent(1000), EVENT_MENU);
    EXPECT_EQ(CurrentEventGadget(), 77);

    // A command bar's commands are menu commands with the notification as type.
    HWND bar = CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 10, 10, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(COMMAND_BAR_ID)),
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(bar, nullptr);
    PostMessageA(window_, WM_COMMAND, MAKEWPARAM(42, 3), reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(WaitEvent(1000), EVENT_MENU);
    EXPECT_EQ(CurrentEventGadget(), 42);
    EXPECT_EQ(CurrentEventState()->type, 3);
    DestroyWindow(bar);
}

TEST_F(EventWaitTest, RelayedClicksAndFocusNotices) {
    struct Row {
        const char* name;
        LPARAM mouse;
        int32_t type; // -1: no event, the relayed message comes back raw
    };
    const Row rows[] = {{"left down", WM_LBUTTONDOWN, 0},
                        {"right down", WM_RBUTTONDOWN, 1},
                        {"left double", WM_LBUTTONDBLCLK, 2},
                        {"right double", WM_RBUTTONDBLCLK, 3},
                        {"other mouse message", WM_MBUTTONDOWN, -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PostMessageA(window_, MSG_NOTIFY_CLICK, 55, row.mouse);
        // The first dispatch only re-posts.
        EXPECT_EQ(WaitEvent(1000), static_cast<int32_t>(MSG_NOTIFY_CLICK));
        int32_t event = WaitEvent(1000);
        EXPECT_EQ(CurrentEventGadget(), 55);
        if (row.type >= 0) {
            EXPECT_EQ(event, EVENT_NOTIFY_CLICK);
            EXPECT_EQ(CurrentEventState()->type, row.type);
        } else {
            EXPECT_EQ(event, static_cast<int32_t>(MSG_NOTIFY_CLICK_POSTED));
            EXPECT_EQ(CurrentEventState()->messageWParam, 55u);
            EXPECT_EQ(CurrentEventState()->messageLParam, row.mouse);
        }
    }
    ASSERT_TRUE(PostLayerMessage(window_, GADGET_FOCUS_NOTICE, 9, FOCUS_LOST));
    EXPECT_EQ(WaitEvent(1000), EVENT_GADGET);
    EXPECT_EQ(CurrentEventGadget(), 9);
    EXPECT_EQ(CurrentEventState()->type, FOCUS_LOST);
}

TEST_F(EventWaitTest, PayloadBelongsToTheStateUntilTheNextWait) {
    void** payload = static_cast<void**>(MakeEventPayload(8 * sizeof(void*)));
    void* second = MainHeapAlloc(16);
    ASSERT_TRUE(payload && second);
    payload[5] = second;
    ASSERT_TRUE(PostEventPayload(window_, MSG_GADGET_DATA, 12, payload));
    EXPECT_EQ(WaitEvent(1000), EVENT_GADGET_DATA);
    EXPECT_EQ(CurrentEventGadget(), 12);
    EXPECT_EQ(CurrentEventState()->payload, payload);

    // A nested message loop (a message box) that dispatches the next payload leaves the one the
    // application holds alone; the next wait frees it and hands out the other.
    void* next = MakeEventPayload(0);
    ASSERT_TRUE(PostEventPayload(window_, MSG_WINDOW_DATA, 0, next));
    // Dispatched as a message box's loop would, straight from the platform.
    ASSERT_TRUE(PumpToMarker());
    EXPECT_TRUE(HeapValidate(MainHeapHandle(), 0, payload)) << "the held payload was freed";
    EXPECT_EQ(CurrentEventState()->payload, payload);
    PostMessageA(window_, WM_USER + 6, 0, 0);
    EXPECT_EQ(WaitEvent(1000), EVENT_WINDOW_DATA);
    EXPECT_EQ(CurrentEventState()->payload, next);
    FreeEventPayload();
    EXPECT_EQ(CurrentEventState()->payload, nullptr);

    // One that is never posted is given back by its maker.
    void* unposted = MakeEventPayload(0);
    EXPECT_EQ(LiveEventPayloads(), 1);
    EXPECT_TRUE(GiveBackEventPayload(unposted));
    EXPECT_FALSE(GiveBackEventPayload(unposted));
    EXPECT_EQ(LiveEventPayloads(), 0);
}

LRESULT CALLBACK SwallowMoves(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_MOVE ? 0 : PASS_ON;
}

LRESULT CALLBACK DefaultForClose(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_SIZE ? NOT_HANDLED : PASS_ON;
}

int windowCallbackCalls = 0;
LRESULT CALLBACK CountingWindowCallback(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_MOVE) {
        ++windowCallbackCalls;
    }
    return PASS_ON;
}

TEST_F(EventWaitTest, UserCallbacksSuppressOrPassOn) {
    SetEventCallback(SwallowMoves);
    SendMessageA(window_, WM_MOVE, 0, 0);
    SendMessageA(window_, WM_SIZE, 0, 0);
    EXPECT_EQ(QueueLength(), 1);
    EXPECT_EQ(WaitEvent(0), EVENT_WINDOW_SIZED);

    // NOT_HANDLED from a callback goes straight to the platform default: no event.
    SetEventCallback(DefaultForClose);
    SendMessageA(window_, WM_SIZE, 0, 0);
    EXPECT_EQ(QueueLength(), 0);

    // The window's own callback takes precedence over the process-wide one.
    SetEventCallback(SwallowMoves);
    ASSERT_TRUE(SetWindowCallback(WINDOW, CountingWindowCallback));
    SendMessageA(window_, WM_MOVE, 0, 0);
    EXPECT_EQ(windowCallbackCalls, 1);
    EXPECT_EQ(QueueLength(), 1);
    SetWindowCallback(WINDOW, nullptr);
    CollectEvents();
}

TEST_F(EventWaitTest, WindowRecordLimitsAndBackgroundAreHonoured) {
    MINMAXINFO info = {};
    info.ptMinTrackSize = {1, 2};
    info.ptMaxTrackSize = {3000, 4000};
    ASSERT_TRUE(SetWindowSizeLimits(WINDOW, 120, 0, 640, 0));
    EXPECT_EQ(SendMessageA(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.ptMinTrackSize.x, 120);
    EXPECT_EQ(info.ptMinTrackSize.y, 2);
    EXPECT_EQ(info.ptMaxTrackSize.x, 640);
    EXPECT_EQ(info.ptMaxTrackSize.y, 4000);
    SetWindowSizeLimits(WINDOW, 0, 0, 0, 0);

    ASSERT_TRUE(SetWindowBackground(WINDOW, CreateSolidBrush(RGB(10, 200, 30))));
    CollectEvents();
    HDC screen = GetDC(window_);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 300);
    HGDIOBJ old = SelectObject(memory, bitmap);
    EXPECT_EQ(SendMessageA(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0), 1);
    EXPECT_EQ(GetPixel(memory, 5, 5), RGB(10, 200, 30));
    EXPECT_EQ(WaitEvent(0), EVENT_REPAINT);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window_, screen);
    SetWindowBackground(WINDOW, nullptr);
}

} // namespace

namespace {

HDC hookContext = nullptr;
HWND hookWindow = nullptr;
LRESULT CountingEraseHook(HDC context, HWND window) {
    hookContext = context;
    hookWindow = window;
    return 77;
}

TEST_F(EventWaitTest, EraseHookAndColourChangesReachTheirTargets) {
    HDC context = GetDC(window_);
    ASSERT_TRUE(SetWindowEraseHook(WINDOW, CountingEraseHook));
    EXPECT_EQ(SendMessageA(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(context), 0), 77);
    EXPECT_EQ(hookContext, context);
    EXPECT_EQ(hookWindow, window_);
    EXPECT_EQ(WaitEvent(0), EVENT_REPAINT);
    SetWindowEraseHook(WINDOW, nullptr);
    // Without brush or hook the platform erases, and the repaint is still reported.
    EXPECT_NE(SendMessageA(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(context), 0), 0);
    EXPECT_EQ(WaitEvent(0), EVENT_REPAINT);
    ReleaseDC(window_, context);

    // A colour change reaches every descendant, nested ones too.
    HWND outer = CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 50, 50, window_, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    HWND inner = CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 10, 10, outer, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    MessageRecorder recorder({WM_SYSCOLORCHANGE});
    recorder.Watch(outer);
    recorder.Watch(inner);
    SendMessageA(window_, WM_SYSCOLORCHANGE, 0, 0);
    const testsupport::ExpectedMessage expected[] = {{WM_SYSCOLORCHANGE, 0, 0, 0, nullptr},
                                                     {WM_SYSCOLORCHANGE, 0, 0, 0, nullptr},
                                                     {0, 0, 0, 0, nullptr}};
    EXPECT_TRUE(testsupport::SequenceMatches(recorder.Messages(), expected));
    recorder.Unwatch(outer);
    recorder.Unwatch(inner);
    DestroyWindow(outer);
}

TEST_F(EventWaitTest, TabGoesThroughTheWindowsAcceleratorsToTheFocusCycling) {
    ASSERT_NE(CreateStringGadget(21, 10, 10, 80, 20, "a"), 0);
    ASSERT_NE(CreateStringGadget(22, 10, 40, 80, 20, "b"), 0);
    HWND first = GadgetHandle(21);
    SetFocus(first);
    CollectEvents();
    ASSERT_EQ(GetActiveWindow(), window_);
    ASSERT_EQ(GetFocus(), first);

    // The key is consumed by the accelerator; the focus moves within that dispatch, and the
    // field that takes it reports so with its own notification (EN_SETFOCUS).
    PostMessageA(first, WM_KEYDOWN, VK_TAB, 0x000F0001);
    EXPECT_EQ(WaitEvent(1000), EVENT_GADGET);
    EXPECT_EQ(CurrentEventGadget(), 22);
    EXPECT_EQ(CurrentEventState()->type, EN_SETFOCUS);
    EXPECT_EQ(GetFocus(), GadgetHandle(22));
    EXPECT_EQ(GetWindowTextLengthA(first), 1) << "the Tab must not reach the field as input";
    // The posted focus notices of the move follow through the wait.
    std::vector<int32_t> types;
    for (int i = 0; i < 2 && WaitForEvent(EVENT_GADGET, 1000); ++i) {
        types.push_back(CurrentEventState()->type);
    }
    EXPECT_EQ(types, (std::vector<int32_t>{FOCUS_LOST, FOCUS_GAINED}));
    DestroyGadget(21);
    DestroyGadget(22);
}

struct ForeignPost {
    HWND target; // null: the window's thread
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool send = false;
};
std::vector<ForeignPost> foreignPosts;
DWORD windowThread = 0;
void* foreignPayload = nullptr; // posted by the other thread when set
HWND foreignPayloadWindow = nullptr;
intptr_t foreignApplicationValue = 0; // posted after the payload when not 0

DWORD WINAPI PostForeignMessages(LPVOID) {
    for (const ForeignPost& post : foreignPosts) {
        if (post.target == nullptr) {
            PostThreadMessageA(windowThread, post.message, post.wParam, post.lParam);
        } else if (post.send) {
            SendMessageA(post.target, post.message, post.wParam, post.lParam);
        } else {
            PostMessageA(post.target, post.message, post.wParam, post.lParam);
        }
    }
    if (foreignPayload != nullptr) {
        PostEventPayload(foreignPayloadWindow, MSG_GADGET_DATA, 12, foreignPayload);
    }
    if (foreignApplicationValue != 0) {
        PostApplicationEvent(foreignPayloadWindow, foreignApplicationValue);
    }
    return 0;
}

// Takes the other thread's sent messages meanwhile; the posted ones stay for the event wait.
void PostFromAnotherThread(std::vector<ForeignPost> posts) {
    foreignPosts = std::move(posts);
    windowThread = GetCurrentThreadId();
    HANDLE thread = CreateThread(nullptr, 0, PostForeignMessages, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 5000, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);
}

// The layer's private messages lie in the application range, where any thread or process may
// post or send them with any value, and so may the system's destruction messages. Only what the
// layer made is taken: no event comes of the rest, no layer number comes back raw, no payload is
// taken, and neither a gadget nor the window's gadget list is torn down.
TEST_F(EventWaitTest, MessagesTheLayerDidNotMakeAreDropped) {
    ASSERT_NE(CreateStringGadget(23, 10, 10, 80, 20, "a"), 0);
    HWND gadget = GadgetHandle(23);
    // A control of the window that is no gadget, with a gadget's identifier.
    HWND stranger = CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 10, 10, window_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(23)),
                                    GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(stranger, nullptr);
    // A block of the right heap that the layer did not make, and one it made and freed.
    void** foreign = static_cast<void**>(MainHeapAlloc(8 * sizeof(void*)));
    ASSERT_NE(foreign, nullptr);
    foreign[5] = reinterpret_cast<void*>(0x15);
    void* freed = MakeEventPayload(0);
    ASSERT_TRUE(PostEventPayload(window_, MSG_WINDOW_DATA, 0, freed));
    ASSERT_TRUE(WaitForEvent(EVENT_WINDOW_DATA));
    WaitEvent(0);
    ASSERT_EQ(CurrentEventState()->payload, nullptr);
    CurrentEventState()->gadget = 0;

    const LPARAM gadgetHandle = reinterpret_cast<LPARAM>(gadget);
    ASSERT_NO_FATAL_FAILURE(PostFromAnotherThread({
        {window_, MSG_WINDOW_DATA, 0, 1},
        {window_, MSG_GADGET_DATA, 12, 0x15},
        {window_, MSG_GADGET_DATA, 7, reinterpret_cast<LPARAM>(foreign)},
        {window_, MSG_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(freed)},
        {gadget, MSG_WINDOW_DATA, 0, 1},
        {gadget, MSG_GADGET_DATA, 12, 0x15},
        {window_, EVENT_GADGET, 23, 0},
        {nullptr, EVENT_GADGET, 23, 0},
        {window_, GADGET_FOCUS_NOTICE, 23, 0},
        {window_, GADGET_FOCUS_NOTICE, 23, gadgetHandle},
        {window_, GADGET_FOCUS_NOTICE, 23, FOCUS_GAINED, true},
        {window_, MSG_NOTIFY_CLICK_POSTED, 23, WM_LBUTTONDOWN},
        {window_, MSG_APPLICATION_EVENT, 23, 0},
        {window_, MSG_APPLICATION_EVENT, 23, 0, true},
        {window_, WM_COMMAND, MAKEWPARAM(23, BN_CLICKED), reinterpret_cast<LPARAM>(stranger)},
        {gadget, WM_NCDESTROY, 0, 0},
        {gadget, WM_DESTROY, 0, 0},
        {gadget, WM_NCDESTROY, 0, 0, true},
        {window_, WM_NCDESTROY, 0, 0, true},
    }));
    EXPECT_EQ(CurrentEventState()->pendingEvent, 0);
    // All of them were queued before a marker posted now: whatever they make comes before it.
    EventsToMarker([](int32_t event) {
        EXPECT_EQ(CurrentEventState()->payload, nullptr) << "after event " << event;
        EXPECT_FALSE(event >= 13100 && event <= 13199) << event;
    });
    EXPECT_EQ(CurrentEventGadget(), 0);
    EXPECT_TRUE(HeapValidate(MainHeapHandle(), 0, foreign)) << "a block not made here was freed";
    MainHeapFree(foreign);
    EXPECT_EQ(GadgetHandle(23), gadget) << "a forged destruction tore the gadget down";
    DestroyWindow(stranger);

    // A payload made and posted on another thread still arrives, and so does an application
    // event (a drive's completion). One that a nested loop (a message box) takes waits in the
    // queue for the next wait: it is neither lost nor handled inside that loop.
    foreignPayload = MakeEventPayload(0);
    foreignPayloadWindow = window_;
    foreignApplicationValue = 41;
    ASSERT_NE(foreignPayload, nullptr);
    ASSERT_NO_FATAL_FAILURE(PostFromAnotherThread({}));
    EXPECT_EQ(WaitEvent(1000), EVENT_GADGET_DATA);
    EXPECT_EQ(CurrentEventGadget(), 12);
    EXPECT_EQ(CurrentEventState()->payload, foreignPayload);
    ASSERT_TRUE(PumpToMarker());
    EXPECT_EQ(WaitEvent(0), EVENT_APPLICATION);
    EXPECT_EQ(CurrentEventGadget(), 41);
    foreignPayload = nullptr;
    foreignApplicationValue = 0;
    DestroyGadget(23);
}

} // namespace
