#include "runtime/fine_wait.h"

namespace {

// Not in the headers of a build for Windows XP; the values are the platform's own.
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION_FLAG = 0x00000002;
constexpr DWORD TIMER_ALL_ACCESS_RIGHTS = 0x001F0003;
using CreateWaitableTimerExWFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES attributes,
                                                       LPCWSTR name, DWORD flags, DWORD access);

constexpr int64_t HUNDRED_NS_PER_SECOND = 10000000;

// Windows 10 version 1803 and later; older systems lack the function or refuse the flag.
HANDLE CreateHighResolutionTimer() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "CreateWaitableTimerExW") : nullptr;
    auto create =
        reinterpret_cast<CreateWaitableTimerExWFunction>(reinterpret_cast<void (*)()>(found));
    if (create == nullptr) {
        return nullptr;
    }
    return create(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION_FLAG,
                  TIMER_ALL_ACCESS_RIGHTS);
}

const FineWaitPlatform SYSTEM_PLATFORM = {CreateHighResolutionTimer, SetWaitableTimer,
                                          timeBeginPeriod, timeEndPeriod};

// The 1 ms timer period in place of a high-resolution timer.
void RaisePeriod(FineWait* wait) {
    wait->periodRaised = wait->platform->beginPeriod(1) == TIMERR_NOERROR;
}

constexpr int64_t MICROSECONDS_PER_SECOND = 1000000;

// a * b / c, rounded up, without overflow for a, b >= 0 and c > 0 as long as the result fits
// and b * c does.
int64_t Scale(int64_t a, int64_t b, int64_t c) {
    return a / c * b + (a % c * b + c - 1) / c;
}

// Waits for the handles or the time; true when the time passed without `stop` being signalled.
bool WaitOnce(FineWait* wait, int64_t hundredNs, HANDLE stop) {
    if (wait->timer != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -hundredNs; // relative
        if (wait->platform->setTimer(wait->timer, &due, 0, nullptr, nullptr, FALSE)) {
            if (stop == nullptr) {
                return WaitForSingleObject(wait->timer, INFINITE) == WAIT_OBJECT_0;
            }
            // The stop comes first, so that a stop and an expired timer together count as a stop.
            const HANDLE handles[2] = {stop, wait->timer};
            return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
        }
        // Plain time-outs alone would wait in steps of the system tick: 15.6 ms on current
        // Windows for every 5 ms asked. Go on as if there had been no timer.
        CloseHandle(wait->timer);
        wait->timer = nullptr;
        RaisePeriod(wait);
    }
    // Rounded up: a time-out never ends before its milliseconds, and the caller waits again for
    // what is left if the system's tick ended it early.
    // INFINITE is one more than the longest delay, so the clamp only ever splits a wait.
    const int64_t rounded = (hundredNs + 9999) / 10000;
    const DWORD milliseconds = static_cast<DWORD>(rounded < INFINITE ? rounded : INFINITE - 1);
    if (stop == nullptr) {
        Sleep(milliseconds);
        return true;
    }
    return WaitForSingleObject(stop, milliseconds) == WAIT_TIMEOUT;
}

} // namespace

void FineWaitOpen(FineWait* wait, const FineWaitPlatform* platform) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    wait->frequency = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    wait->spin = Scale(FINE_WAIT_SPIN_US, wait->frequency, MICROSECONDS_PER_SECOND);
    wait->platform = platform != nullptr ? platform : &SYSTEM_PLATFORM;
    wait->timer = wait->platform->createTimer();
    wait->periodRaised = false;
    if (wait->timer == nullptr) {
        RaisePeriod(wait);
    }
}

void FineWaitClose(FineWait* wait) {
    if (wait->timer != nullptr) {
        CloseHandle(wait->timer);
        wait->timer = nullptr;
    }
    if (wait->periodRaised) {
        wait->platform->endPeriod(1);
        wait->periodRaised = false;
    }
}

int64_t FineWaitNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t FineWaitAfter(const FineWait* wait, int64_t from, uint64_t microseconds) {
    return from +
           Scale(static_cast<int64_t>(microseconds), wait->frequency, MICROSECONDS_PER_SECOND);
}

int64_t FineWaitMicrosecondsLeft(const FineWait* wait, int64_t deadline) {
    const int64_t left = deadline - FineWaitNow();
    return left > 0 ? left / wait->frequency * MICROSECONDS_PER_SECOND +
                          left % wait->frequency * MICROSECONDS_PER_SECOND / wait->frequency
                    : 0;
}

bool FineWaitUntil(FineWait* wait, int64_t deadline, HANDLE stop) {
    for (;;) {
        const int64_t left = deadline - FineWaitNow();
        // The stop was looked at by every wait that led here; once more would cost each interval
        // a call into the system between the deadline and the caller's next step.
        if (left <= 0) {
            return true;
        }
        if (left <= wait->spin) {
            // Each turn hands the processor to a thread that is ready on it, of any priority, so
            // that a PC with a single core still runs its windows; with none ready it goes on.
            SwitchToThread();
            continue;
        }
        const int64_t hundredNs = Scale(left - wait->spin, HUNDRED_NS_PER_SECOND, wait->frequency);
        if (!WaitOnce(wait, hundredNs, stop)) {
            return false;
        }
    }
}
