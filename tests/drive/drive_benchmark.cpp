// Measures the drive's real pace against the stand-in port library: a default square (808
// writes, 5 ms after each) in a numbered worker, timed from the library's trace. Prints figures
// only; the pace depends on the platform's timer (Wine adds about 0.3 ms to each wait).
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/square_drive.h"
#include "tests/runtime/runtime_test_helpers.h"
#include "tools/driver/driver.h"

namespace {

volatile LONG finished = 0;

int64_t Port888(void*) {
    return 888;
}
void Done(void*) {
    InterlockedExchange(&finished, 1);
}

DWORD WINAPI Drive(LPVOID) {
    SquareDriveIo io = {};
    io.readPortAddress = Port888;
    io.readStepCount = DriveReadStepCount;
    io.readDelay = DriveReadDelay;
    io.writePort = DriveWritePort;
    io.sleep = DriveSleep;
    io.reportDone = Done;
    DrawSquare(io);
    return 0;
}

} // namespace

int main() {
    if (!StartRuntime()) {
        std::printf("the runtime did not start\n");
        return 1;
    }
    AppStateInit();
    char folder[MAX_PATH];
    char trace[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "kpb", 0, trace);
    SetEnvironmentVariableA("KALIBRIX_PORT_TRACE", trace);
    if (LibraryOpen(0, WindowsPath(KALIBRIX_STANDIN_INPOUT32).c_str()) == 0) {
        std::printf("the stand-in port library did not load\n");
        return 1;
    }
    SharedTextAssign(&App.stepsText, ProduceText("100"));
    SharedTextAssign(&App.delayText, ProduceText("5"));

    const ULONGLONG start = GetTickCount64();
    ThreadCreate(Drive, 0);
    while (!finished) {
        Sleep(10);
    }
    const ULONGLONG wall = GetTickCount64() - start;
    LibraryCloseAll();

    std::vector<long long> stamps;
    for (const driver::PortWrite& write : driver::ReadTrace(trace)) {
        stamps.push_back(write.microseconds);
    }
    DeleteFileA(trace);
    if (stamps.size() < 2) {
        std::printf("no trace\n");
        return 1;
    }
    std::vector<long long> gaps;
    for (size_t i = 1; i < stamps.size(); ++i) {
        gaps.push_back(stamps[i] - stamps[i - 1]);
    }
    std::sort(gaps.begin(), gaps.end());
    long long sum = 0;
    for (long long gap : gaps) {
        sum += gap;
    }
    std::printf("writes: %zu (expected 808)\n", stamps.size());
    std::printf("first to last write: %.1f ms (807 waits of 5 ms = 4035 ms)\n",
                (stamps.back() - stamps.front()) / 1000.0);
    std::printf("whole drive: %llu ms (ideal 4040 ms)\n", wall);
    std::printf("gap between writes: mean %.3f ms, median %.3f ms, min %.3f ms, max %.3f ms\n",
                sum / 1000.0 / gaps.size(), gaps[gaps.size() / 2] / 1000.0, gaps.front() / 1000.0,
                gaps.back() / 1000.0);
    return 0;
}
