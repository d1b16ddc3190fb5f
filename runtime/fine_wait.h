// Waits with a granularity of 1 ms or finer, for a thread that paces hardware.
//
// Since Windows 10 version 2004 a process that does not ask for a finer timer waits in steps of
// the 15.6 ms system tick, so a 5 ms wait lasts 15.6 ms. A fine wait asks for better: a
// high-resolution waitable timer where the system has one, else a 1 ms timer period, held only
// between FineWaitOpen and FineWaitClose. Neither spins.
#pragma once

#include <windows.h>
#include <cstdint>

struct FineWait {
    HANDLE timer;      // a high-resolution waitable timer, or null
    bool periodRaised; // timeBeginPeriod(1) is held (only where there is no such timer)
    int64_t frequency; // of the performance counter, in counts per second
};

// Prepares the fine wait for the calling thread's pacing. Never fails: without either means it
// waits with the system's own granularity.
void FineWaitOpen(FineWait* wait);
// Gives back the timer or the timer period; a second call does nothing.
void FineWaitClose(FineWait* wait);

// The performance counter now.
int64_t FineWaitNow();
// The counter value `milliseconds` after `from`.
int64_t FineWaitAfter(const FineWait* wait, int64_t from, uint32_t milliseconds);
// Waits until the performance counter has reached `deadline`, never returning earlier. A
// signalled `stop` (may be null) ends the wait at once; the result is false then.
bool FineWaitUntil(const FineWait* wait, int64_t deadline, HANDLE stop);
