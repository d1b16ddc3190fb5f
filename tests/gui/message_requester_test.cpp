// The message requester: which windows a box disables and enables again, its owner, nested
// boxes on one thread and boxes on several threads at once. The boxes are answered from a helper
// thread that clicks their button once it has looked at what the box is up with.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>
#include "gui/message_requester.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_windows.h"

using testsupport::BringToFront;
using testsupport::PumpMessages;

namespace {

const char* const TEST_CLASS = "RequesterTestWindow";

void RegisterTestClass() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = TEST_CLASS;
        RegisterClassA(&windowClass);
        registered = true;
    }
}

HWND MakeWindow(const char* title, bool visible, int x = 10) {
    RegisterTestClass();
    return CreateWindowExA(0, TEST_CLASS, title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                           x, 10, 200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

struct BoxSearch {
    const char* title;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        strcmp(name, "#32770") != 0) {
        return TRUE;
    }
    // Read without a message: the thread of another window may be busy waiting.
    wchar_t title[128] = L"";
    InternalGetWindowText(window, title, 128);
    char narrow[128] = "";
    WideCharToMultiByte(CP_ACP, 0, title, -1, narrow, sizeof narrow, nullptr, nullptr);
    if (strcmp(narrow, search->title) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Answers `count` boxes with the title, one after the other. `look` runs on the answering
// thread while each box is up; it must only record (GoogleTest's checks stay on the test
// thread).
class Answerer {
  public:
    Answerer(const char* title, int count, std::function<void(HWND box)> look = nullptr)
        : title_(title), count_(count), look_(std::move(look)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Answerer() { Join(); }
    // Waits for the thread while the caller's windows keep being served.
    void Join() {
        if (thread_ != nullptr) {
            while (MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_ALLINPUT) ==
                   WAIT_OBJECT_0 + 1) {
                PumpMessages(0);
            }
            CloseHandle(thread_);
            thread_ = nullptr;
        }
    }
    int Answered() const { return answered_; }

  private:
    static DWORD WINAPI Run(LPVOID self) {
        static_cast<Answerer*>(self)->AnswerAll();
        return 0;
    }
    // Gives up when no box has come for 20 seconds.
    void AnswerAll() {
        DWORD start = GetTickCount();
        while (answered_ < count_ && GetTickCount() - start < 20000) {
            BoxSearch search = {title_, nullptr};
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
            if (search.found == nullptr) {
                Sleep(10);
                continue;
            }
            start = GetTickCount();
            Sleep(50); // let the box settle, as a user would look first
            if (look_) {
                look_(search.found);
            }
            PostMessageA(GetDlgItem(search.found, IDOK), BM_CLICK, 0, 0);
            ++answered_;
            while (IsWindow(search.found) && GetTickCount() - start < 20000) {
                Sleep(10);
            }
        }
    }

    const char* title_;
    int count_;
    std::function<void(HWND box)> look_;
    HANDLE thread_ = nullptr;
    volatile LONG answered_ = 0;
};

class MessageRequesterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(testsupport::StartWindowLayer()); }
    void TearDown() override {
        for (HWND window : windows_) {
            DestroyWindow(window);
        }
        testsupport::PumpToMarker();
        EXPECT_EQ(0, DisabledWindowCount()) << "entries left behind in the DisabledWindowList";
    }
    HWND Keep(HWND window) {
        windows_.push_back(window);
        return window;
    }
    std::vector<HWND> windows_;
};

TEST_F(MessageRequesterTest, DisablesOnlyVisibleEnabledWindowsBesideTheForegroundOne) {
    HWND front = Keep(MakeWindow("front", true, 10));
    HWND other = Keep(MakeWindow("other", true, 230));
    HWND hidden = Keep(MakeWindow("hidden", false, 450));
    HWND disabled = Keep(MakeWindow("disabled", true, 670));
    EnableWindow(disabled, FALSE);
    ASSERT_TRUE(BringToFront(front));

    struct Seen {
        HWND owner;
        BOOL frontEnabledBeforeBox; // before MessageBoxA disables its owner itself
        BOOL otherEnabled;
        BOOL hiddenEnabled;
        int entries;
        bool hasOk;
        bool hasCancel;
        char text[64];
    } seen = {};
    Answerer answerer("Plain", 1, [&](HWND box) {
        seen.owner = GetWindow(box, GW_OWNER);
        seen.otherEnabled = IsWindowEnabled(other);
        seen.hiddenEnabled = IsWindowEnabled(hidden);
        seen.entries = DisabledWindowCount();
        seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
        seen.hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
        GetWindowTextA(GetDlgItem(box, 0xFFFF), seen.text, sizeof seen.text);
    });
    const int answer = ShowMessage("Plain", "Seitenl\xE4nge");
    answerer.Join();

    EXPECT_EQ(IDOK, answer);
    EXPECT_EQ(1, answerer.Answered());
    EXPECT_EQ(front, seen.owner) << "the foreground window of this process owns the box";
    EXPECT_FALSE(seen.otherEnabled);
    EXPECT_TRUE(seen.hiddenEnabled);
    EXPECT_EQ(1, seen.entries) << "only the visible, enabled, non-foreground window is listed";
    EXPECT_TRUE(seen.hasOk);
    EXPECT_FALSE(seen.hasCancel) << "without flags the box has an OK button only";
    EXPECT_STREQ("Seitenl\xE4nge", seen.text);

    EXPECT_TRUE(IsWindowEnabled(front));
    EXPECT_TRUE(IsWindowEnabled(other));
    EXPECT_TRUE(IsWindowEnabled(hidden));
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_FALSE(IsWindowEnabled(disabled)) << "a window disabled before stays disabled";
}

struct WorkerCall {
    int answer;
    int entriesWhileUp;
    HWND owner;
    BOOL secondEnabledWhileUp;
    HWND second;
};

DWORD WINAPI ShowFromWorker(LPVOID context) {
    static_cast<WorkerCall*>(context)->answer = ShowMessage("Worker", "Fertig!");
    return 0;
}

// A thread that is not the caller keeps its windows; a caller that owns no windows (the
// drive's worker) disables nothing and still takes this process's foreground window as owner.
TEST_F(MessageRequesterTest, LeavesOtherThreadsWindowsAlone) {
    HWND front = Keep(MakeWindow("front", true, 10));
    HWND second = Keep(MakeWindow("second", true, 230));
    ASSERT_TRUE(BringToFront(front));

    WorkerCall call = {0, -1, nullptr, FALSE, second};
    Answerer answerer("Worker", 1, [&](HWND box) {
        call.entriesWhileUp = DisabledWindowCount();
        call.owner = GetWindow(box, GW_OWNER);
        call.secondEnabledWhileUp = IsWindowEnabled(call.second);
    });
    HANDLE worker = CreateThread(nullptr, 0, ShowFromWorker, &call, 0, nullptr);
    ASSERT_NE(nullptr, worker);
    // The box's owner is on this thread: keep serving it while the worker's box is up.
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        PumpMessages(0);
    }
    CloseHandle(worker);
    answerer.Join();

    EXPECT_EQ(IDOK, call.answer);
    EXPECT_EQ(0, call.entriesWhileUp);
    EXPECT_TRUE(call.secondEnabledWhileUp);
    EXPECT_EQ(front, call.owner);
    EXPECT_TRUE(IsWindowEnabled(front));
    EXPECT_TRUE(IsWindowEnabled(second));
}

struct Nested {
    HWND outerOnly;
    HWND late;
    BOOL outerOnlyEnabledDuringInner;
    BOOL lateEnabledDuringInner;
    BOOL outerOnlyEnabledAfterInner;
    BOOL lateEnabledAfterInner;
    int entriesAfterInner;
    volatile int innerAnswer;
} nested;

void CALLBACK ShowInnerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    nested.late = MakeWindow("late", true, 450);
    nested.innerAnswer = ShowMessage("Inner", "inner");
    nested.outerOnlyEnabledAfterInner = IsWindowEnabled(nested.outerOnly);
    nested.lateEnabledAfterInner = IsWindowEnabled(nested.late);
    nested.entriesAfterInner = DisabledWindowCount();
}

struct ProcessWindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisibleWindowOf(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ProcessWindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->processId && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// With the foreground window in another process the box has no owner, and the calling thread's
// windows are disabled all the same.
TEST_F(MessageRequesterTest, ForeignForegroundWindowIsNoOwner) {
    HWND first = Keep(MakeWindow("first", true, 10));
    HWND second = Keep(MakeWindow("second", true, 230));
    char command[] = "notepad.exe";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION other = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &other));
    ProcessWindowSearch search = {other.dwProcessId, nullptr};
    testsupport::PumpUntil([&search] {
        EnumWindows(FindVisibleWindowOf, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    const bool foreign = search.found != nullptr && BringToFront(search.found);

    struct Seen {
        HWND owner;
        BOOL firstEnabled;
        BOOL secondEnabled;
    } seen = {first, TRUE, TRUE};
    int answer = 0;
    if (foreign) {
        Answerer answerer("Foreign", 1, [&](HWND box) {
            seen.owner = GetWindow(box, GW_OWNER);
            seen.firstEnabled = IsWindowEnabled(first);
            seen.secondEnabled = IsWindowEnabled(second);
        });
        answer = ShowMessage("Foreign", "foreign");
        answerer.Join();
    }
    TerminateProcess(other.hProcess, 0);
    WaitForSingleObject(other.hProcess, 5000);
    CloseHandle(other.hThread);
    CloseHandle(other.hProcess);

    ASSERT_TRUE(foreign) << "the other process's window did not come to the front";
    EXPECT_EQ(IDOK, answer);
    EXPECT_EQ(nullptr, seen.owner);
    EXPECT_FALSE(seen.firstEnabled);
    EXPECT_FALSE(seen.secondEnabled);
    EXPECT_TRUE(IsWindowEnabled(first));
    EXPECT_TRUE(IsWindowEnabled(second));
}

// A box shown while another box of the same thread is up gives back, when it closes, every
// window the thread has disabled, the outer call's included.
TEST_F(MessageRequesterTest, NestedBoxEnablesTheOuterBoxsWindowsToo) {
    HWND front = Keep(MakeWindow("front", true, 10));
    HWND outerOnly = Keep(MakeWindow("outer", true, 230));
    ASSERT_TRUE(BringToFront(front));

    nested = Nested();
    nested.outerOnly = outerOnly;

    Answerer inner("Inner", 1, [](HWND) {
        nested.outerOnlyEnabledDuringInner = IsWindowEnabled(nested.outerOnly);
        nested.lateEnabledDuringInner = IsWindowEnabled(nested.late);
    });
    // The inner box opens from a timer that fires inside the outer box's message loop.
    SetTimer(nullptr, 0, 100, ShowInnerBox);
    Answerer outer("Outer", 1, [](HWND box) {
        // Wait until the inner box has come and gone before answering the outer one.
        const DWORD start = GetTickCount();
        while (nested.innerAnswer == 0 && GetTickCount() - start < 10000) {
            Sleep(10);
        }
        (void)box;
    });
    const int outerAnswer = ShowMessage("Outer", "outer");
    inner.Join();
    outer.Join();
    Keep(nested.late);

    EXPECT_EQ(IDOK, outerAnswer);
    EXPECT_EQ(IDOK, nested.innerAnswer);
    EXPECT_FALSE(nested.outerOnlyEnabledDuringInner);
    EXPECT_FALSE(nested.lateEnabledDuringInner);
    EXPECT_TRUE(nested.outerOnlyEnabledAfterInner);
    EXPECT_TRUE(nested.lateEnabledAfterInner);
    EXPECT_EQ(0, nested.entriesAfterInner);
    EXPECT_TRUE(IsWindowEnabled(front));
    EXPECT_TRUE(IsWindowEnabled(outerOnly));
}

constexpr int THREADS = 6;
constexpr int BOXES_PER_THREAD = 4;
constexpr int WINDOWS_PER_THREAD = 3;

struct ConcurrentWorker {
    HWND windows[WINDOWS_PER_THREAD];
    int okAnswers;
    HANDLE done;   // set by the worker after its last box
    HANDLE finish; // set by the test once it has looked at the windows
};

DWORD WINAPI ShowConcurrently(LPVOID context) {
    auto* worker = static_cast<ConcurrentWorker*>(context);
    for (HWND& window : worker->windows) {
        window = MakeWindow("worker", true, 20);
    }
    for (int box = 0; box < BOXES_PER_THREAD; ++box) {
        if (ShowMessage("Concurrent", "box") == IDOK) {
            ++worker->okAnswers;
        }
    }
    SetEvent(worker->done);
    // Keep serving the windows (other threads' boxes may be owned by them) until the test has
    // looked; windows are destroyed by their own thread.
    while (MsgWaitForMultipleObjects(1, &worker->finish, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        PumpMessages(0);
    }
    for (HWND window : worker->windows) {
        DestroyWindow(window);
    }
    return 0;
}

// Several threads, each with windows of its own, show boxes at the same time: every box is
// answered, and once all are closed every window is enabled again and the shared list is empty.
// (While a box is up, the platform itself disables the box's owner, which may be a window of
// another thread: the owner is the process's foreground window.)
TEST_F(MessageRequesterTest, ConcurrentCallsKeepTheListConsistent) {
    ConcurrentWorker workers[THREADS] = {};
    HANDLE finish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Answerer answerer("Concurrent", THREADS * BOXES_PER_THREAD);
    HANDLE threads[THREADS];
    HANDLE done[THREADS];
    for (int i = 0; i < THREADS; ++i) {
        done[i] = workers[i].done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        workers[i].finish = finish;
        threads[i] = CreateThread(nullptr, 0, ShowConcurrently, &workers[i], 0, nullptr);
        ASSERT_NE(nullptr, threads[i]);
    }
    const DWORD waited = WaitForMultipleObjects(THREADS, done, TRUE, 60000);
    answerer.Join();
    const int entries = DisabledWindowCount();
    std::vector<int> disabledPerWorker;
    for (const ConcurrentWorker& worker : workers) {
        int disabled = 0;
        for (HWND window : worker.windows) {
            disabled += IsWindowEnabled(window) ? 0 : 1;
        }
        disabledPerWorker.push_back(disabled);
    }
    SetEvent(finish);
    WaitForMultipleObjects(THREADS, threads, TRUE, 10000);
    for (int i = 0; i < THREADS; ++i) {
        CloseHandle(threads[i]);
        CloseHandle(done[i]);
    }
    CloseHandle(finish);

    ASSERT_EQ(WAIT_OBJECT_0, waited);
    EXPECT_EQ(THREADS * BOXES_PER_THREAD, answerer.Answered());
    EXPECT_EQ(0, entries);
    for (int i = 0; i < THREADS; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(BOXES_PER_THREAD, workers[i].okAnswers);
        EXPECT_EQ(0, disabledPerWorker[i]) << "windows left disabled";
    }
}

} // namespace
