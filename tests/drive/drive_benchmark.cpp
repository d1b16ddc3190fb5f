// Measures the drive's real pace against the stand-in port library and sets it beside a bare
// loop of the same waits. Prints figures only; the pace depends on the platform's timer.
//
//   tools/test-session build wine-run bin/drive_benchmark.exe     (build-x64 for the 64-bit lane)
//
// The drive draws a default square (100 steps, 5 ms: 804 writes) in a numbered worker, timed
// from the library's trace. The baseline waits the same 5 ms the same number of times with the
// same fine wait and nothing else. A ratio of the drive's mean interval to the baseline's of
// 1.00 means that reading the texts, finding "Out32", reading the first byte back and passing the
// progress on to the window's thread add nothing to an interval.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/app_state.h"
#include "app/square_drive.h"
#include "gui/event_wait.h"
#include "gui/numbered_windows.h"
#include "runtime/fine_wait.h"
#include "tests/runtime/runtime_test_helpers.h"
#include "tools/driver/driver.h"

namespace {

constexpr uint32_t DELAY_MS = 5;

volatile LONG finished = 0;
// The drive's own port writes, timed around the call: the interval runs from a write's return,
// so whatever "Out32" spends after taking its time stamp is part of the next interval.
int64_t writeCounts = 0;
int64_t writeCalls = 0;

bool TimedWrite(void* pace, uint32_t port, uint8_t value, uint8_t idle) {
    const int64_t before = FineWaitNow();
    const bool written = DriveWritePort(pace, port, value, idle);
    writeCounts += FineWaitNow() - before;
    ++writeCalls;
    return written;
}

int64_t Port888(void*) {
    return 888;
}
void Done(void*, intptr_t) {
    InterlockedExchange(&finished, 1);
}

DWORD WINAPI Drive(LPVOID) {
    SquareDriveIo io = ProgramSquareDriveIo();
    io.readPortAddress = Port888;
    io.writePort = TimedWrite;
    io.reportDone = Done;
    DrawPacedSquare(io);
    return 0;
}

struct Figures {
    double mean, minimum, maximum; // milliseconds
    size_t belowDelay;
};

Figures Summarise(const std::vector<double>& intervals) {
    Figures figures = {0, 0, 0, 0};
    if (intervals.empty()) {
        return figures;
    }
    double sum = 0;
    for (double interval : intervals) {
        sum += interval;
        figures.belowDelay += interval < DELAY_MS ? 1 : 0;
    }
    figures.mean = sum / intervals.size();
    figures.minimum = *std::min_element(intervals.begin(), intervals.end());
    figures.maximum = *std::max_element(intervals.begin(), intervals.end());
    return figures;
}

void Print(const char* name, size_t count, const Figures& figures) {
    std::printf("%-9s %4zu intervals: mean %.3f ms, min %.3f ms, max %.3f ms, %zu below %u ms\n",
                name, count, figures.mean, figures.minimum, figures.maximum, figures.belowDelay,
                DELAY_MS);
}

// The drive's intervals between writes, from the stand-in's trace (microseconds).
std::vector<double> DriveIntervals(const char* trace) {
    SetEnvironmentVariableA("KALIBRIX_PORT_TRACE", trace);
    if (LibraryOpen(0, WindowsPath(KALIBRIX_STANDIN_INPOUT32).c_str()) == 0) {
        std::printf("the stand-in port library did not load\n");
        return {};
    }
    SharedTextAssign(&App.stepsText, ProduceText("100"));
    SharedTextAssign(&App.delayText, ProduceText("5"));
    ThreadCreate(Drive, 0);
    // The window's thread takes the progress as the program's does.
    int progressEvents = 0;
    while (!finished) {
        progressEvents += WaitEvent(10) == EVENT_APPLICATION;
    }
    std::printf("drive: %d progress events taken\n", progressEvents);
    LibraryCloseAll();
    const std::vector<driver::PortWrite> writes = driver::ReadTrace(trace);
    std::printf("drive: %zu writes (expected 804)\n", writes.size());
    std::vector<double> intervals;
    for (size_t i = 1; i < writes.size(); ++i) {
        intervals.push_back((writes[i].microseconds - writes[i - 1].microseconds) / 1000.0);
    }
    return intervals;
}

// The same waits in a bare loop on a thread of its own, as the drive's are.
std::vector<double> baselineIntervals;

DWORD WINAPI Baseline(LPVOID count) {
    FineWait wait;
    FineWaitOpen(&wait);
    int64_t last = FineWaitNow();
    for (size_t i = 0; i < reinterpret_cast<size_t>(count); ++i) {
        FineWaitUntil(&wait, FineWaitAfter(&wait, last, uint64_t{DELAY_MS} * 1000), nullptr);
        const int64_t now = FineWaitNow();
        baselineIntervals.push_back((now - last) * 1000.0 / wait.frequency);
        last = now;
    }
    FineWaitClose(&wait);
    return 0;
}

} // namespace

int main() {
    if (!StartRuntime()) {
        std::printf("the runtime did not start\n");
        return 1;
    }
    AppStateInit();
    // The drive's reports go to a window of the layer, as in the program.
    if (!InitWindowLayer() ||
        (App.mainWindow = reinterpret_cast<HWND>(OpenNumberedWindow(
             14, 0, 0, 100, 100, "Kalibrix", WS_CAPTION | WINDOW_INVISIBLE))) == nullptr) {
        std::printf("the window layer did not start\n");
        return 1;
    }
    char folder[MAX_PATH];
    char trace[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "kpb", 0, trace);
    const std::vector<double> drive = DriveIntervals(trace);
    DeleteFileA(trace);
    if (drive.empty()) {
        std::printf("no trace\n");
        return 1;
    }

    HANDLE thread =
        CreateThread(nullptr, 0, Baseline, reinterpret_cast<LPVOID>(drive.size()), 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    const Figures driveFigures = Summarise(drive);
    const Figures baselineFigures = Summarise(baselineIntervals);
    Print("drive", drive.size(), driveFigures);
    Print("baseline", baselineIntervals.size(), baselineFigures);
    std::printf("ratio of the mean intervals, drive / baseline: %.3f\n",
                driveFigures.mean / baselineFigures.mean);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::printf("mean time in a port write (the stand-in appends a trace line): %.1f us\n",
                writeCalls > 0 ? writeCounts * 1e6 / frequency.QuadPart / writeCalls : 0.0);
    return 0;
}
