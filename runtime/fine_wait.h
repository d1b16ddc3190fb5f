// Waits to the microsecond, for a thread that paces hardware.
//
// No timer of the system ends a wait to the microsecond. Since Windows 10 version 2004 a process
// that does not ask for a finer timer even waits in steps of the 15.6 ms system tick, so a 5 ms
// wait lasts 15.6 ms. A fine wait sleeps the bulk of a wait on a high-resolution waitable timer
// where the system has one, else with a 1 ms timer period held only between FineWaitOpen and
// FineWaitClose, and spins on the performance counter for the last FINE_WAIT_SPIN_US.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <cstdint>

// The platform calls behind a fine wait. A test passes its own to reach the path of a system
// without a working high-resolution timer, which Wine always has.
struct FineWaitPlatform {
    // A high-resolution waitable timer, or null where the system has none.
    HANDLE (*createTimer)();
    BOOL(WINAPI* setTimer)
    (HANDLE timer, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE routine, LPVOID argument,
     BOOL resume);
    MMRESULT(WINAPI* beginPeriod)(UINT milliseconds);
    MMRESULT(WINAPI* endPeriod)(UINT milliseconds);
};

// What a 1 ms timer period may add to a sleep, its rounding up to whole milliseconds included:
// a sleep that aims this far before the deadline still ends in time for the spin.
constexpr uint32_t FINE_WAIT_SPIN_US = 2000;

struct FineWait {
    HANDLE timer;      // a high-resolution waitable timer, or null
    bool periodRaised; // timeBeginPeriod(1) is held (only where there is no such timer)
    int64_t frequency; // of the performance counter, in counts per second
    int64_t spin;      // FINE_WAIT_SPIN_US in counts
    const FineWaitPlatform* platform;
};

// Prepares the fine wait for the calling thread's pacing, on the system's own calls unless a
// platform is given (it must outlive the wait). Never fails: without either means it waits with
// the system's own granularity.
void FineWaitOpen(FineWait* wait, const FineWaitPlatform* platform = nullptr);
// Gives back the timer or the timer period; a second call does nothing.
void FineWaitClose(FineWait* wait);

// The performance counter now.
int64_t FineWaitNow();
// The counter value `microseconds` after `from`, rounded up to the next count.
int64_t FineWaitAfter(const FineWait* wait, int64_t from, uint64_t microseconds);
// The whole microseconds from now until `deadline`; 0 once it has passed.
int64_t FineWaitMicrosecondsLeft(const FineWait* wait, int64_t deadline);
// Waits until the performance counter has reached `deadline`, never returning earlier. A
// `stop` (may be null) signalled while it sleeps ends the wait at once; the result is false then.
// The spin at its end runs out, and a deadline already passed returns true at once: the caller
// checks its own stop. A timer that the system refuses to set is given up for the 1 ms timer
// period, for the rest of the wait's life.
bool FineWaitUntil(FineWait* wait, int64_t deadline, HANDLE stop);
