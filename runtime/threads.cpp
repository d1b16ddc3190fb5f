#include "runtime/threads.h"

#include "runtime/memory_heaps.h"

// The stop signal of one thread. It lives in the process heap, not the MainHeap, because a
// thread that is still running may use it after the MainHeap has been destroyed at shut-down;
// it is shared by the registry record and the running thread and freed by whichever lets go
// of it last.
struct ThreadControl {
    LONG references;
    HANDLE stopEvent; // manual reset, signalled once the thread is told to stop
    // Held around "not stopped? then act" and while the stop is set, so that no action
    // starts after ThreadKill has returned.
    CRITICAL_SECTION lock;
    volatile LONG stopped;
    ThreadProcedure procedure;
    LPVOID parameter;
    void (*stopAction)(void* context); // run by the first stop, under the lock
    void* stopContext;
};

namespace {

RunOnceFlag initOnce = {};
CRITICAL_SECTION registryLock;
DWORD controlSlot = TLS_OUT_OF_INDEXES;
NodeList registry = nullptr;
int32_t counter = 1;

bool InitRegistry(void*) {
    InitializeCriticalSection(&registryLock);
    controlSlot = TlsAlloc();
    if (controlSlot == TLS_OUT_OF_INDEXES) {
        DeleteCriticalSection(&registryLock);
        return false;
    }
    return true;
}

bool Initialised() {
    return RunOnce(&initOnce, InitRegistry, nullptr);
}

enum RunOnceState : LONG { ONCE_NOT_DONE, ONCE_RUNNING, ONCE_DONE };

ThreadControl* NewControl(ThreadProcedure procedure, LPVOID parameter) {
    auto* control = static_cast<ThreadControl*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadControl)));
    if (control == nullptr) {
        return nullptr;
    }
    control->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (control->stopEvent == nullptr) {
        HeapFree(GetProcessHeap(), 0, control);
        return nullptr;
    }
    InitializeCriticalSection(&control->lock);
    control->references = 1;
    control->procedure = procedure;
    control->parameter = parameter;
    return control;
}

void ReleaseControl(ThreadControl* control) {
    if (control != nullptr && InterlockedDecrement(&control->references) == 0) {
        DeleteCriticalSection(&control->lock);
        CloseHandle(control->stopEvent);
        HeapFree(GetProcessHeap(), 0, control);
    }
}

void StopControl(ThreadControl* control) {
    if (control == nullptr) {
        return;
    }
    EnterCriticalSection(&control->lock);
    // Under the lock, so the thread's next action sees the stop and nothing follows the stop's
    // own action.
    if (InterlockedExchange(&control->stopped, 1) == 0 && control->stopAction != nullptr) {
        void (*action)(void*) = control->stopAction;
        control->stopAction = nullptr;
        action(control->stopContext);
    }
    SetEvent(control->stopEvent);
    LeaveCriticalSection(&control->lock);
}

DWORD WINAPI Trampoline(LPVOID argument) {
    auto* control = static_cast<ThreadControl*>(argument);
    TlsSetValue(controlSlot, control);
    const DWORD result = control->procedure(control->parameter);

    EnterCriticalSection(&control->lock);
    // The context lived on the ended thread: a later stop must not run it.
    control->stopAction = nullptr;
    LeaveCriticalSection(&control->lock);
    TlsSetValue(controlSlot, nullptr);
    ReleaseControl(control);
    return result;
}

ThreadControl* CurrentControl() {
    if (!Initialised()) {
        return nullptr;
    }
    return static_cast<ThreadControl*>(TlsGetValue(controlSlot));
}

bool HasEnded(HANDLE handle) {
    return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

void DropRecord(ThreadRecord* record) {
    CloseHandle(record->handle);
    ReleaseControl(record->control);
    NodeListRemove(&registry, record);
}

// Called with the registry lock held.
ThreadRecord* FindRecord(int32_t number) {
    for (void* payload = NodeListFirst(registry); payload != nullptr;
         payload = NodeListNext(payload)) {
        auto* record = static_cast<ThreadRecord*>(payload);
        if (record->number == number) {
            return record;
        }
    }
    return nullptr;
}

} // namespace

bool ThreadsInit() {
    return Initialised();
}

bool RunOnce(RunOnceFlag* flag, bool (*procedure)(void* context), void* context) {
    for (;;) {
        const LONG state = InterlockedCompareExchange(&flag->state, ONCE_RUNNING, ONCE_NOT_DONE);
        if (state == ONCE_DONE) {
            return true;
        }
        if (state == ONCE_NOT_DONE) {
            const bool done = procedure(context);
            // The exchange is a full barrier: whoever reads ONCE_DONE sees all the procedure wrote.
            InterlockedExchange(&flag->state, done ? ONCE_DONE : ONCE_NOT_DONE);
            return done;
        }
        // Another thread is running the procedure, which is short. Sleep(1) rather than Sleep(0),
        // which would give no time to a running thread of lower priority.
        Sleep(1);
    }
}

namespace {

bool MakeFirstUseLock(void* lock) {
    InitializeCriticalSection(&static_cast<FirstUseLock*>(lock)->section);
    return true;
}

} // namespace

void FirstUseLockEnter(FirstUseLock* lock) {
    RunOnce(&lock->made, MakeFirstUseLock, lock);
    EnterCriticalSection(&lock->section);
}

void FirstUseLockLeave(FirstUseLock* lock) {
    LeaveCriticalSection(&lock->section);
}

int32_t ThreadCreate(ThreadProcedure procedure, intptr_t parameter) {
    if (procedure == nullptr || !Initialised()) {
        return 0;
    }
    ThreadControl* control = NewControl(procedure, reinterpret_cast<LPVOID>(parameter));
    if (control == nullptr) {
        return 0;
    }
    // The thread holds one reference from its start; the registry record takes the other.
    control->references = 2;
    // 4096 bytes is the committed size; the reserve stays the program's default.
    HANDLE handle = CreateThread(nullptr, 4096, Trampoline, control, 0, nullptr);
    if (handle == nullptr) {
        control->references = 1;
        ReleaseControl(control);
        return 0;
    }

    EnterCriticalSection(&registryLock);
    void* payload = NodeListFirst(registry);
    while (payload != nullptr) {
        void* next = NodeListNext(payload);
        auto* record = static_cast<ThreadRecord*>(payload);
        if (HasEnded(record->handle)) {
            DropRecord(record);
        }
        payload = next;
    }
    auto* record = static_cast<ThreadRecord*>(NodeListAdd(&registry, sizeof(ThreadRecord)));
    int32_t number = 0;
    if (record != nullptr) {
        number = counter++;
        record->handle = handle;
        record->number = number;
        record->control = control;
    }
    LeaveCriticalSection(&registryLock);
    if (record == nullptr) {
        // Unregistered, the thread could never be stopped: tell it to stop before it acts.
        StopControl(control);
        ReleaseControl(control);
        CloseHandle(handle);
    }
    return number;
}

HANDLE ThreadFindRunning(int32_t number) {
    if (number == 0 || !Initialised()) {
        return nullptr;
    }
    EnterCriticalSection(&registryLock);
    ThreadRecord* record = FindRecord(number);
    HANDLE handle = nullptr;
    if (record != nullptr && !HasEnded(record->handle)) {
        handle = record->handle;
    }
    LeaveCriticalSection(&registryLock);
    return handle;
}

void ThreadKill(int32_t number) {
    if (number == 0 || !Initialised()) {
        return;
    }
    ThreadControl* control = nullptr;
    EnterCriticalSection(&registryLock);
    ThreadRecord* record = FindRecord(number);
    if (record != nullptr) {
        // The record's reference passes to this call, which lets go of it after the stop.
        control = record->control;
        record->control = nullptr;
        DropRecord(record);
    }
    LeaveCriticalSection(&registryLock);
    StopControl(control);
    ReleaseControl(control);
}

void ThreadStopAll() {
    if (!Initialised()) {
        return;
    }
    EnterCriticalSection(&registryLock);
    for (void* payload = NodeListFirst(registry); payload != nullptr;
         payload = NodeListNext(payload)) {
        StopControl(static_cast<ThreadRecord*>(payload)->control);
    }
    LeaveCriticalSection(&registryLock);
}

bool ThreadWaitAll(uint32_t milliseconds) {
    if (!Initialised()) {
        return true;
    }
    const DWORD start = GetTickCount();
    for (;;) {
        // Only the main thread creates and drops registrations, so a handle taken here stays
        // open while it is waited on outside the lock.
        HANDLE running = nullptr;
        EnterCriticalSection(&registryLock);
        for (void* payload = NodeListFirst(registry); payload != nullptr;
             payload = NodeListNext(payload)) {
            HANDLE handle = static_cast<ThreadRecord*>(payload)->handle;
            if (!HasEnded(handle)) {
                running = handle;
                break;
            }
        }
        LeaveCriticalSection(&registryLock);
        if (running == nullptr) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds ||
            WaitForSingleObject(running, milliseconds - elapsed) != WAIT_OBJECT_0) {
            return false;
        }
    }
}

void ThreadCloseAll() {
    if (!Initialised()) {
        return;
    }
    EnterCriticalSection(&registryLock);
    while (registry != nullptr) {
        DropRecord(static_cast<ThreadRecord*>(NodeListFirst(registry)));
    }
    LeaveCriticalSection(&registryLock);
}

void Delay(uint32_t milliseconds) {
    ThreadControl* control = CurrentControl();
    if (control == nullptr) {
        Sleep(milliseconds);
        return;
    }
    // Waiting on the stop event instead of sleeping lets a stop end the wait at once.
    WaitForSingleObject(control->stopEvent, milliseconds);
    if (milliseconds == 0) {
        Sleep(0);
    }
}

HANDLE ThreadStopEvent() {
    ThreadControl* control = CurrentControl();
    return control != nullptr ? control->stopEvent : nullptr;
}

bool ThreadStopRequested() {
    ThreadControl* control = CurrentControl();
    return control != nullptr && control->stopped != 0;
}

bool ThreadRunUnlessStopped(void (*action)(void* context), void* context) {
    ThreadControl* control = CurrentControl();
    if (control == nullptr) {
        if (action != nullptr) {
            action(context);
        }
        return true;
    }
    EnterCriticalSection(&control->lock);
    const bool run = control->stopped == 0;
    if (run && action != nullptr) {
        action(context);
    }
    LeaveCriticalSection(&control->lock);
    return run;
}

void ThreadSetStopAction(void (*action)(void* context), void* context) {
    ThreadControl* control = CurrentControl();
    if (control == nullptr) {
        return; // nothing can stop a thread that is not registered
    }
    EnterCriticalSection(&control->lock);
    control->stopAction = action;
    control->stopContext = context;
    LeaveCriticalSection(&control->lock);
}
