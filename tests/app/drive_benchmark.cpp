// Measures the drive's real pace against the stand-in port library. Prints figures only; the pace
// depends on the platform's timer and on what else the machine does.
//
//   tools/test-session build wine-run bin/drive_benchmark.exe     (build-x64 for the 64-bit lane)
//
// Each drive runs the program's pacer in a numbered worker, timed from the library's trace:
// - the default square (100 steps, D = 5 ms: 804 writes), beside a bare loop of the same waits
//   with the same fine wait and nothing else;
// - microstepped squares of 16,000 steps per side (64,000 steps, 128,004 writes) at D = 0.1 ms
//   and 0.05 ms;
// - a square whose runs ramp from 5 ms to 0.05 ms over 2,000 steps, each write's interval against
//   its plan;
// - the process bound to one processor, a drive at 0.05 ms: how late the window's thread wakes
//   and how long a stop takes until the drive's thread has ended.
// An interval runs from one write's time stamp in the trace to the next. The stand-in appends a
// line to its trace in every write, which a real port write does not; the wait, from the moment
// a write returned to the next, is what the pacer keeps.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/app_state.h"
#include "app/square_drive.h"
#include "gui/event_wait.h"
#include "gui/numbered_windows.h"
#include "runtime/fine_wait.h"
#include "runtime/libraries.h"
#include "runtime/threads.h"
#include "tests/support/layers.h"
#include "tests/support/port_trace.h"

using testsupport::DuplicateThreadHandle;
using testsupport::PortWrite;
using testsupport::ReadTrace;
using testsupport::WindowsPath;

namespace {

int64_t frequency = 1;

double Microseconds(int64_t counts) {
    return static_cast<double>(counts) * 1e6 / static_cast<double>(frequency);
}

// When each of the drive's writes returned, in the stand-in's microseconds, and how long the
// writes took.
std::vector<double> writeReturns;
int64_t writeCounts = 0;

bool TimedWrite(void* pace, uint32_t port, uint8_t value, uint8_t idle) {
    const int64_t before = FineWaitNow();
    const bool written = DriveWritePort(pace, port, value, idle);
    const int64_t after = FineWaitNow();
    writeCounts += after - before;
    writeReturns.push_back(Microseconds(after));
    return written;
}

volatile LONG finished = 0;
void Done(void*, intptr_t) {
    InterlockedExchange(&finished, 1);
}

DriveOrder order;

DWORD WINAPI Drive(LPVOID) {
    SquareDriveIo io = ProgramSquareDriveIo();
    io.writePort = TimedWrite;
    io.reportDone = Done;
    DrawPacedSquare(order, io);
    return 0;
}

// The waits the plan of the order has, write by write.
std::vector<uint64_t> PlannedWaits() {
    DrivePlan plan;
    DrivePlanBegin(&plan, order);
    std::vector<uint64_t> waits;
    for (PlannedWrite write; DrivePlanNext(&plan, &write);) {
        waits.push_back(write.wait);
    }
    return waits;
}

// Draws the order on the stand-in, the window's thread taking the progress as the program's
// does, and returns the trace.
std::vector<PortWrite> DrawOnTheStandIn(const char* trace) {
    DeleteFileA(trace);
    SetEnvironmentVariableA("KALIBRIX_PORT_TRACE", trace);
    if (LibraryOpen(0, WindowsPath(KALIBRIX_STANDIN_INPOUT32).c_str()) == 0) {
        std::printf("the stand-in port library did not load\n");
        return {};
    }
    writeReturns.clear();
    writeCounts = 0;
    finished = 0;
    ThreadCreate(Drive, 0);
    while (!finished) {
        WaitEvent(10);
    }
    LibraryCloseAll();
    return ReadTrace(trace);
}

struct Figures {
    double shortest, mean, longest; // microseconds
    double overTwice;               // the share of intervals above 2D
    double waitMean;                // from a write's return to the next write
    double time, ideal;             // seconds, from the first write to the last
};

Figures Measure(const std::vector<PortWrite>& writes, double delay) {
    Figures figures = {1e30, 0, 0, 0, 0, 0, 0};
    const std::vector<uint64_t> planned = PlannedWaits();
    size_t over = 0;
    double sum = 0;
    double waitSum = 0;
    for (size_t i = 1; i < writes.size(); ++i) {
        const double interval =
            static_cast<double>(writes[i].microseconds - writes[i - 1].microseconds);
        figures.shortest = std::min(figures.shortest, interval);
        figures.longest = std::max(figures.longest, interval);
        sum += interval;
        over += interval > 2 * delay ? 1 : 0;
        waitSum += static_cast<double>(writes[i].microseconds) - writeReturns[i - 1];
        figures.ideal += static_cast<double>(planned[i - 1]) / 1e6;
    }
    const double count = static_cast<double>(writes.size() - 1);
    figures.mean = sum / count;
    figures.overTwice = static_cast<double>(over) / count;
    figures.waitMean = waitSum / count;
    figures.time =
        static_cast<double>(writes.back().microseconds - writes.front().microseconds) / 1e6;
    return figures;
}

bool Check(const std::vector<PortWrite>& writes) {
    const std::vector<uint64_t> planned = PlannedWaits();
    if (writes.size() != planned.size() || writeReturns.size() != writes.size()) {
        std::printf("%zu writes, %zu planned: the drive did not draw its square\n", writes.size(),
                    planned.size());
        return false;
    }
    return true;
}

bool Microstepped(uint64_t delay, const char* trace) {
    order = {888, 16000, delay, DEFAULT_DRIVE_SETTINGS, 0};
    const std::vector<PortWrite> writes = DrawOnTheStandIn(trace);
    if (!Check(writes)) {
        return false;
    }
    const Figures f = Measure(writes, static_cast<double>(delay));
    std::printf("D = %.2f ms, %zu writes: intervals shortest %.1f us, mean %.1f us (%.3f D), "
                "longest %.1f us, %.3f %% above 2D; %.2f s against the ideal %.2f s (%.3f); the "
                "wait from a write's return %.1f us (%.3f D), the stand-in's write %.1f us\n",
                static_cast<double>(delay) / 1000, writes.size(), f.shortest, f.mean,
                f.mean / static_cast<double>(delay), f.longest, 100 * f.overTwice, f.time, f.ideal,
                f.time / f.ideal, f.waitMean, f.waitMean / static_cast<double>(delay),
                Microseconds(writeCounts) / static_cast<double>(writes.size()));
    return true;
}

// The same waits in a bare loop on a thread of its own, as the drive's are.
std::vector<double> baselineIntervals;

DWORD WINAPI Baseline(LPVOID count) {
    FineWait wait;
    FineWaitOpen(&wait);
    int64_t last = FineWaitNow();
    for (size_t i = 0; i < reinterpret_cast<size_t>(count); ++i) {
        FineWaitUntil(&wait, FineWaitAfter(&wait, last, order.delay), nullptr);
        const int64_t now = FineWaitNow();
        baselineIntervals.push_back(Microseconds(now - last));
        last = now;
    }
    FineWaitClose(&wait);
    return 0;
}

bool DefaultSquare(const char* trace) {
    order = {888, 100, 5000, DEFAULT_DRIVE_SETTINGS, 0};
    const std::vector<PortWrite> writes = DrawOnTheStandIn(trace);
    if (!Check(writes)) {
        return false;
    }
    const Figures f = Measure(writes, 5000);
    HANDLE thread =
        CreateThread(nullptr, 0, Baseline, reinterpret_cast<LPVOID>(writes.size() - 1), 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    double sum = 0;
    for (double interval : baselineIntervals) {
        sum += interval;
    }
    const double baseline = sum / static_cast<double>(baselineIntervals.size());
    std::printf("D = 5 ms, %zu writes: intervals shortest %.3f ms, mean %.3f ms (%.4f D), longest "
                "%.3f ms, the wait from a write's return %.3f ms (%.4f D); a bare loop of the same "
                "waits: mean %.3f ms (%.4f D), shortest %.3f ms; drive / bare loop %.4f\n",
                writes.size(), f.shortest / 1000, f.mean / 1000, f.mean / 5000, f.longest / 1000,
                f.waitMean / 1000, f.waitMean / 5000, baseline / 1000, baseline / 5000,
                *std::min_element(baselineIntervals.begin(), baselineIntervals.end()) / 1000,
                f.mean / baseline);
    return true;
}

bool Ramped(const char* trace) {
    order = {888, 16000, 50, DEFAULT_DRIVE_SETTINGS, 0};
    order.settings.ramp = 2000;
    const std::vector<PortWrite> writes = DrawOnTheStandIn(trace);
    if (!Check(writes)) {
        return false;
    }
    const std::vector<uint64_t> planned = PlannedWaits();
    size_t early = 0;
    double slack = 1e30;
    for (size_t i = 1; i < writes.size(); ++i) {
        const double interval =
            static_cast<double>(writes[i].microseconds - writes[i - 1].microseconds);
        early += interval < static_cast<double>(planned[i - 1]) ? 1 : 0;
        slack = std::min(slack, interval - static_cast<double>(planned[i - 1]));
    }
    const Figures f = Measure(writes, 50);
    std::printf("ramp of 2000 steps from 5 ms to D = 0.05 ms, %zu writes: %zu intervals shorter "
                "than planned, the least above its plan by %.1f us; %.2f s against the ideal "
                "%.2f s (%.3f)\n",
                writes.size(), early, slack, f.time, f.ideal, f.time / f.ideal);
    return true;
}

// On one processor the drive and the window's thread share it. The window's thread sleeps in
// 50 ms steps, as between a user's clicks, and counts how late it wakes; then it stops the drive.
bool OneCore(const char* trace) {
    if (!SetProcessAffinityMask(GetCurrentProcess(), 1)) {
        std::printf("one core: the process could not be bound to one processor\n");
        return false;
    }
    DeleteFileA(trace);
    SetEnvironmentVariableA("KALIBRIX_PORT_TRACE", trace);
    if (LibraryOpen(0, WindowsPath(KALIBRIX_STANDIN_INPOUT32).c_str()) == 0) {
        return false;
    }
    order = {888, 1000000, 50, DEFAULT_DRIVE_SETTINGS, 0};
    writeReturns.clear();
    const int32_t number = ThreadCreate(Drive, 0);
    HANDLE drive = DuplicateThreadHandle(number);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    double lateSum = 0;
    double lateMost = 0;
    constexpr int WAKES = 40;
    for (int i = 0; i < WAKES; ++i) {
        // The drive's progress waits in the queue meanwhile.
        const int64_t before = FineWaitNow();
        WaitForSingleObject(never, 50);
        const double late = Microseconds(FineWaitNow() - before) / 1000 - 50;
        lateSum += late;
        lateMost = std::max(lateMost, late);
    }
    const size_t before = writeReturns.size();
    const int64_t stopped = FineWaitNow();
    ThreadKill(number);
    const bool ended = drive != nullptr && WaitForSingleObject(drive, 5000) == WAIT_OBJECT_0;
    const double stopTime = Microseconds(FineWaitNow() - stopped) / 1000;
    if (drive != nullptr) {
        CloseHandle(drive);
    }
    CloseHandle(never);
    LibraryCloseAll();
    std::printf("one core, a drive at D = 0.05 ms: %zu writes in %.1f s; the window's thread woke "
                "late by %.2f ms on average, at most %.2f ms; a stop %s in %.2f ms\n",
                before, WAKES * 50 / 1000.0, lateSum / WAKES, lateMost,
                ended ? "ended the drive's thread" : "did not end the drive's thread", stopTime);
    return ended;
}

} // namespace

int main() {
    if (!testsupport::StartWindowLayer()) {
        std::printf("the runtime and the window layer did not start\n");
        return 1;
    }
    AppStateInit();
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&counter);
    frequency = counter.QuadPart;
    // The drive's reports go to a window of the layer, as in the program.
    if ((App.mainWindow = reinterpret_cast<HWND>(OpenNumberedWindow(
             14, 0, 0, 100, 100, "Kalibrix", WS_CAPTION | WINDOW_INVISIBLE))) == nullptr) {
        std::printf("the window for the drive's reports did not open\n");
        return 1;
    }
    char folder[MAX_PATH];
    char trace[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "kpb", 0, trace);
    const bool measured = DefaultSquare(trace) && Microstepped(100, trace) &&
                          Microstepped(50, trace) && Ramped(trace) && OneCore(trace);
    DeleteFileA(trace);
    return measured ? 0 : 1;
}
