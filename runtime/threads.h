// Numbered threads, the millisecond delay and the cooperative stop.
//
// Threads get numbers 1, 2, 3 ... in the order of successful creation; a number is never given
// twice and 0 means no thread. A killed thread is not terminated: it is told to stop, and the
// operations below make that stop take effect at once for what the thread does outside.
#pragma once

#include <windows.h>
#include <cstdint>

using ThreadProcedure = DWORD(WINAPI*)(LPVOID parameter);

struct ThreadControl; // the stop signal shared by a thread and its registry record

struct ThreadRecord {
    HANDLE handle; // closed exactly when the record is dropped
    int32_t number;
    ThreadControl* control; // outlives the record while the thread still runs
};

bool ThreadsInit();

// A one-time initialisation that every Windows from XP on has (the system's own came with
// Vista). Zero-initialised; the first caller runs the procedure and every other caller waits
// until it has finished. A procedure that fails leaves the flag unset, so a later call tries
// again; the result tells whether the initialisation is done.
struct RunOnceFlag {
    volatile LONG state;
};
bool RunOnce(RunOnceFlag* flag, bool (*procedure)(void* context), void* context);

// A lock for process-wide state that may be used before any start-up ran: a critical section,
// which every Windows from XP on has, made on first use. Zero-initialised; never deleted.
struct FirstUseLock {
    RunOnceFlag made;
    CRITICAL_SECTION section;
};
void FirstUseLockEnter(FirstUseLock* lock);
void FirstUseLockLeave(FirstUseLock* lock);
// Starts the procedure at once and registers it; returns its number, 0 when creation failed.
int32_t ThreadCreate(ThreadProcedure procedure, intptr_t parameter);
// The handle of the registered thread with this number if it has not ended, else null.
HANDLE ThreadFindRunning(int32_t number);
// Kills in name only: the thread is told to stop, never terminated. Drops its registration; when
// this returns the thread performs no further stoppable action (ThreadRunUnlessStopped) and its
// delays end at once. Does nothing for a number that is not registered.
void ThreadKill(int32_t number);
// Tells every registered thread to stop, as ThreadKill does, keeping the registrations.
void ThreadStopAll();
// Waits at most the given milliseconds for every registered thread to end; true when all have.
// Shut-down waits so briefly for stopped threads that they are out of the runtime's tables before
// those are freed, without keeping the process alive for a thread that does not end.
bool ThreadWaitAll(uint32_t milliseconds);
// Drops every registration and closes the handles; running threads go on running.
void ThreadCloseAll();

// Sleeps for the given milliseconds; on a thread of ThreadCreate the wait ends early when the
// thread is told to stop.
void Delay(uint32_t milliseconds);
// The calling thread's stop signal, to wait on beside other objects: signalled once the thread
// is told to stop. Null on threads not started by ThreadCreate. Owned by the runtime: never
// close it.
HANDLE ThreadStopEvent();
// True once the calling thread has been told to stop (always false on other threads).
bool ThreadStopRequested();
// Runs the action unless the calling thread has been told to stop; the check and the action
// cannot be split by a stop. Returns false (action not run) when stopped. A stop waits for a
// running action, so the action must be short and must not wait for the main thread nor
// create, kill or stop threads (no message boxes, no sent messages).
bool ThreadRunUnlessStopped(void (*action)(void* context), void* context);
// What the first stop of the calling thread does at once, on the stopping thread and before
// ThreadKill or ThreadStopAll returns: it finishes what the thread's last action began (the
// drive ends a begun pulse). Null clears it. Set from inside an action of ThreadRunUnlessStopped,
// it takes effect with that action: no stop comes between them. The same rules as for an action
// apply, and the context must live until the action is cleared or the thread is stopped.
void ThreadSetStopAction(void (*action)(void* context), void* context);
