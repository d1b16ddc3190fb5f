// Numbered threads, their registry and the cooperative stop.
#include <gtest/gtest.h>

#include "runtime/fine_wait.h"
#include "runtime/threads.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"

using testsupport::DuplicateThreadHandle;
using testsupport::PumpUntil;

namespace {

class ThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testsupport::StartRuntime()); }
    void TearDown() override {
        ThreadStopAll();
        ThreadCloseAll();
    }
};

DWORD WINAPI Quick(LPVOID) {
    return 7;
}

// Delays without end, after setting the event it is given, if any. Its exit code tells whether
// the delay ended through a stop.
DWORD WINAPI DelayForever(LPVOID begun) {
    if (begun != nullptr) {
        SetEvent(static_cast<HANDLE>(begun));
    }
    Delay(INFINITE);
    return ThreadStopRequested() ? 1 : 0;
}

// The exit code of a thread that waited for its event to the end.
constexpr DWORD RELEASED = 2;
DWORD WINAPI WaitForEvent(LPVOID event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return RELEASED;
}

DWORD ExitCode(HANDLE thread) {
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    return code;
}

// Pumps meanwhile: a window of the thread may talk to this thread's windows as it goes.
bool Ends(HANDLE thread, DWORD milliseconds = 5000) {
    return PumpUntil([thread] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; },
                     milliseconds);
}

bool HandleIsOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

TEST_F(ThreadsTest, NumbersCountUpAndAFailedCreationTakesNone) {
    const int32_t first = ThreadCreate(Quick, 0);
    EXPECT_GE(first, 1);
    EXPECT_EQ(ThreadCreate(nullptr, 0), 0);
    const int32_t second = ThreadCreate(Quick, 0);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(ThreadCreate(Quick, 0), first + 2);
}

TEST_F(ThreadsTest, EndedThreadsArePrunedOnTheNextCreationAndTheirHandlesClosed) {
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const int32_t number = ThreadCreate(WaitForEvent, reinterpret_cast<intptr_t>(release));
    HANDLE registered = ThreadFindRunning(number);
    ASSERT_NE(registered, nullptr);
    HANDLE own = DuplicateThreadHandle(number);
    SetEvent(release);
    ASSERT_TRUE(Ends(own));
    EXPECT_EQ(ThreadFindRunning(number), nullptr);
    EXPECT_TRUE(HandleIsOpen(registered)); // still registered until the next creation

    const int32_t next = ThreadCreate(Quick, 0);
    EXPECT_EQ(next, number + 1);
    EXPECT_FALSE(HandleIsOpen(registered));
    ThreadKill(number); // finds nothing
    CloseHandle(own);
    CloseHandle(release);
}

TEST_F(ThreadsTest, KillStopsTheDelayAtOnceAndDropsTheRecord) {
    HANDLE begun = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const int32_t number = ThreadCreate(DelayForever, reinterpret_cast<intptr_t>(begun));
    ASSERT_NE(number, 0);
    HANDLE registered = ThreadFindRunning(number);
    HANDLE own = DuplicateThreadHandle(number);
    ASSERT_NE(own, nullptr);
    ASSERT_TRUE(PumpUntil([begun] { return WaitForSingleObject(begun, 0) == WAIT_OBJECT_0; }));
    EXPECT_EQ(WaitForSingleObject(own, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ThreadKill(number);
    EXPECT_EQ(ThreadFindRunning(number), nullptr);
    EXPECT_FALSE(HandleIsOpen(registered));
    EXPECT_TRUE(Ends(own, 1000));
    EXPECT_EQ(ExitCode(own), 1u) << "the delay ended before the stop";
    EXPECT_GT(ThreadCreate(Quick, 0), number);
    CloseHandle(own);
    CloseHandle(begun);

    ThreadKill(0);
    ThreadKill(number);
}

// The action models a port write that takes a while; a stop must never cut one in two, and no
// action may start after ThreadKill returned.
volatile LONG actionsStarted = 0;
volatile LONG actionsFinished = 0;

void SlowAction(void*) {
    InterlockedIncrement(&actionsStarted);
    Sleep(3);
    InterlockedIncrement(&actionsFinished);
}

DWORD WINAPI ActUntilStopped(LPVOID) {
    while (ThreadRunUnlessStopped(SlowAction, nullptr)) {
        Delay(1);
    }
    return ThreadStopRequested() ? 1 : 0;
}

TEST_F(ThreadsTest, NoActionRunsAfterKillReturns) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        actionsStarted = 0;
        actionsFinished = 0;
        const int32_t number = ThreadCreate(ActUntilStopped, 0);
        HANDLE own = DuplicateThreadHandle(number);
        ASSERT_NE(own, nullptr);
        ASSERT_TRUE(PumpUntil([] { return actionsFinished >= 2 + 0; }));
        Sleep(round % 5); // the kill comes at a different point of the loop each round
        ThreadKill(number);
        const LONG started = actionsStarted;
        EXPECT_EQ(actionsFinished, started);
        // Once the thread has ended nothing can start any more: what started before is all.
        ASSERT_TRUE(Ends(own, 1000));
        EXPECT_EQ(actionsStarted, started);
        EXPECT_EQ(ExitCode(own), 1u);
        CloseHandle(own);
    }
}

TEST_F(ThreadsTest, ActionsRunAndDelaySleepsOutsideRegisteredThreads) {
    EXPECT_FALSE(ThreadStopRequested());
    actionsStarted = 0;
    EXPECT_TRUE(ThreadRunUnlessStopped(SlowAction, nullptr));
    EXPECT_EQ(actionsStarted, 1);
    const ULONGLONG before = GetTickCount64();
    Delay(60);
    EXPECT_GE(GetTickCount64() - before, 45u);
}

TEST_F(ThreadsTest, CloseAllForgetsThreadsButLeavesThemRunning) {
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const int32_t a = ThreadCreate(WaitForEvent, reinterpret_cast<intptr_t>(release));
    const int32_t b = ThreadCreate(WaitForEvent, reinterpret_cast<intptr_t>(release));
    HANDLE ownA = DuplicateThreadHandle(a);
    HANDLE ownB = DuplicateThreadHandle(b);
    HANDLE registeredA = ThreadFindRunning(a);
    ThreadCloseAll();
    EXPECT_EQ(ThreadFindRunning(a), nullptr);
    EXPECT_EQ(ThreadFindRunning(b), nullptr);
    EXPECT_FALSE(HandleIsOpen(registeredA));
    EXPECT_EQ(WaitForSingleObject(ownA, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(ownB, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(release);
    EXPECT_TRUE(Ends(ownA));
    EXPECT_TRUE(Ends(ownB));
    // Each ran on until its event was set: neither was ended from outside.
    EXPECT_EQ(ExitCode(ownA), RELEASED);
    EXPECT_EQ(ExitCode(ownB), RELEASED);
    CloseHandle(ownA);
    CloseHandle(ownB);
    CloseHandle(release);
}

TEST_F(ThreadsTest, StopAllStopsEveryRegisteredThread) {
    const int32_t a = ThreadCreate(DelayForever, 0);
    const int32_t b = ThreadCreate(DelayForever, 0);
    HANDLE ownA = DuplicateThreadHandle(a);
    HANDLE ownB = DuplicateThreadHandle(b);
    ThreadStopAll();
    EXPECT_TRUE(ThreadWaitAll(1000));
    EXPECT_TRUE(Ends(ownA, 0));
    EXPECT_TRUE(Ends(ownB, 0));
    CloseHandle(ownA);
    CloseHandle(ownB);
}

// A thread that ignores the stop holds shut-down up only for the time given.
TEST_F(ThreadsTest, WaitAllGivesUpOnAThreadThatDoesNotEnd) {
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ThreadCreate(WaitForEvent, reinterpret_cast<intptr_t>(release));
    ThreadStopAll();
    const DWORD start = GetTickCount();
    EXPECT_FALSE(ThreadWaitAll(100));
    EXPECT_LT(GetTickCount() - start, 2000u);
    SetEvent(release);
    EXPECT_TRUE(ThreadWaitAll(5000));
    CloseHandle(release);
}

TEST_F(ThreadsTest, KillRightAfterCreationStillReachesTheThread) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        const int32_t number = ThreadCreate(DelayForever, 0);
        HANDLE own = DuplicateThreadHandle(number);
        ThreadKill(number);
        EXPECT_TRUE(Ends(own, 1000));
        CloseHandle(own);
    }
}

// The one-time fill that replaces the system's (Vista and later): whoever calls it while the
// first caller still runs the procedure waits for it, and a failed run is tried again.
struct OnceCase {
    RunOnceFlag flag;
    volatile LONG runs;
    volatile LONG finished;
    volatile LONG sawUnfinished; // a caller came back before the procedure had finished
    volatile LONG failuresLeft;
};

bool SlowFill(void* context) {
    auto* once = static_cast<OnceCase*>(context);
    InterlockedIncrement(&once->runs);
    Sleep(50); // long enough that the other callers arrive meanwhile
    if (once->failuresLeft > 0) {
        --once->failuresLeft;
        return false;
    }
    InterlockedExchange(&once->finished, 1);
    return true;
}

DWORD WINAPI CallOnce(LPVOID context) {
    auto* once = static_cast<OnceCase*>(context);
    const bool done = RunOnce(&once->flag, SlowFill, once);
    if (done && once->finished == 0) {
        InterlockedExchange(&once->sawUnfinished, 1);
    }
    return done ? 1 : 0;
}

TEST(RunOnce, RunsOnceForConcurrentCallersWhoAllWaitForItAndRetriesAFailure) {
    OnceCase once = {};
    once.failuresLeft = 1;
    EXPECT_FALSE(RunOnce(&once.flag, SlowFill, &once));
    EXPECT_EQ(1, once.runs);

    HANDLE callers[6];
    for (HANDLE& caller : callers) {
        caller = CreateThread(nullptr, 0, CallOnce, &once, 0, nullptr);
        ASSERT_NE(nullptr, caller);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(6, callers, TRUE, 5000));
    for (HANDLE caller : callers) {
        DWORD result = 0;
        GetExitCodeThread(caller, &result);
        EXPECT_EQ(1u, result);
        CloseHandle(caller);
    }
    EXPECT_EQ(2, once.runs);
    EXPECT_EQ(0, once.sawUnfinished);
    EXPECT_TRUE(RunOnce(&once.flag, SlowFill, &once));
    EXPECT_EQ(2, once.runs);
}

} // namespace

// Both ways the fine wait can run: with the high-resolution timer, and with plain time-outs as
// on systems without one. Neither may end a wait early, and a stop ends even a long one at once.
TEST(FineWait, NeverEndsEarlyAndAStopEndsItAtOnceWithOrWithoutTheTimer) {
    FineWait withTimer;
    FineWaitOpen(&withTimer);
    FineWait withoutTimer = withTimer;
    withoutTimer.timer = nullptr;
    withoutTimer.periodRaised = false;
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(stop, nullptr);
    for (FineWait* wait : {&withTimer, &withoutTimer}) {
        SCOPED_TRACE(wait->timer != nullptr ? "timer" : "time-outs");
        ResetEvent(stop);
        // Spun alone, and slept before the spin.
        for (uint64_t microseconds : {1000u, 2000u, 3000u, 50u, 5000u, 2500u, 20u, 12345u}) {
            const int64_t deadline = FineWaitAfter(wait, FineWaitNow(), microseconds);
            EXPECT_TRUE(FineWaitUntil(wait, deadline, stop));
            EXPECT_GE(FineWaitNow(), deadline) << microseconds << " us";
        }
        SetEvent(stop);
        const DWORD before = GetTickCount();
        EXPECT_FALSE(FineWaitUntil(wait, FineWaitAfter(wait, FineWaitNow(), 100000000), stop));
        EXPECT_LT(GetTickCount() - before, 1000u);
    }
    CloseHandle(stop);
    FineWaitClose(&withTimer);
}
