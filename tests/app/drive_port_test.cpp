// The drive against the stand-in port library: the program's own write and wait operations in
// a numbered worker thread, checked on the library's trace of port writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/square_drive.h"
#include "gui/event_wait.h"
#include "gui/numbered_windows.h"
#include "runtime/libraries.h"
#include "runtime/threads.h"
#include "tests/support/expected_square.h"
#include "tests/support/layers.h"
#include "tests/support/message_pump.h"

using testsupport::DuplicateThreadHandle;
using testsupport::PumpUntil;
using testsupport::SquareBytes;
using testsupport::WindowsPath;

namespace {

struct TraceLine {
    long long microseconds;
    unsigned port;
    unsigned value;
};

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string text;
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) {
        text.append(chunk, read);
    }
    CloseHandle(file);
    return text;
}

// Every line must read "<microseconds> <port> <byte>\r\n"; a line of any other shape fails.
std::vector<TraceLine> ParseTrace(const std::string& text) {
    std::vector<TraceLine> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "unterminated line at " << at;
        if (end == std::string::npos) {
            break;
        }
        TraceLine line = {};
        int used = 0;
        const std::string body = text.substr(at, end - at);
        EXPECT_EQ(sscanf(body.c_str(), "%lld %u %u%n", &line.microseconds, &line.port, &line.value,
                         &used),
                  3)
            << body;
        EXPECT_EQ(static_cast<size_t>(used), body.size()) << body;
        lines.push_back(line);
        at = end + 2;
    }
    return lines;
}

std::vector<unsigned> Values(const std::vector<TraceLine>& lines, size_t from = 0) {
    std::vector<unsigned> values;
    for (size_t i = from; i < lines.size(); ++i) {
        values.push_back(lines[i].value);
    }
    return values;
}

volatile LONG drivesFinished = 0;
volatile LONG drivesReported = 0;
volatile LONG drivesStopped = 0;

void NoteDone(void*, intptr_t) {
    InterlockedIncrement(&drivesReported);
}

// Set by a case for the drives it starts: the order (port 888), the write after which a drive
// waits for good (0: none), and the fine wait's platform calls.
DriveOrder drivesOrder;
LONG longWaitAfter = 0;
const FineWaitPlatform* drivesPlatform = nullptr;

volatile LONG waits = 0;
volatile LONG longWaitBegun = 0;
bool SleepWithOneLongWait(void* pace, uint64_t microseconds) {
    const bool longWait = InterlockedIncrement(&waits) == longWaitAfter;
    if (longWait) {
        InterlockedExchange(&longWaitBegun, 1);
    }
    return ProgramSquareDriveIo().sleep(pace, longWait ? UINT64_C(600000000) : microseconds);
}

DWORD WINAPI DriveThread(LPVOID) {
    SquareDriveIo io = ProgramSquareDriveIo();
    io.reportDone = NoteDone;
    io.sleep = SleepWithOneLongWait;
    if (!DrawPacedSquare(drivesOrder, io, drivesPlatform)) {
        InterlockedIncrement(&drivesStopped);
    }
    InterlockedIncrement(&drivesFinished);
    return 0;
}

// The order of a case: port 888 and the default settings.
void Order(int32_t steps, uint64_t microseconds) {
    drivesOrder = {888, steps, microseconds, DEFAULT_DRIVE_SETTINGS, 0};
}

class DrivePortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::StartWindowLayer());
        AppStateInit();
        char folder[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);
        char file[MAX_PATH];
        ASSERT_NE(GetTempFileNameA(folder, "kpt", 0, file), 0u);
        trace = file;
        SetEnvironmentVariableA("KALIBRIX_PORT_TRACE", trace.c_str());
        // Opened anew for every case, so the library reads the trace name again.
        ASSERT_NE(LibraryOpen(0, WindowsPath(KALIBRIX_STANDIN_INPOUT32).c_str()), 0);
        drivesFinished = 0;
        drivesReported = 0;
        drivesStopped = 0;
        waits = 0;
        longWaitAfter = 0;
        longWaitBegun = 0;
        drivesPlatform = nullptr;
    }
    void TearDown() override {
        ThreadStopAll();
        ThreadCloseAll();
        LibraryCloseAll();
        DeleteFileA(trace.c_str());
    }

    std::vector<TraceLine> Trace() { return ParseTrace(ReadWholeFile(trace)); }

    std::string trace;
};

TEST_F(DrivePortTest, ACompleteSquareReachesThePortByteForByte) {
    Order(2, 2000);
    const int32_t number = ThreadCreate(DriveThread, 0);
    ASSERT_NE(number, 0);
    ASSERT_TRUE(PumpUntil([] { return drivesFinished == 1; }));
    EXPECT_EQ(drivesReported, 1);

    const std::vector<TraceLine> lines = Trace();
    EXPECT_EQ(Values(lines), SquareBytes(2));
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i].port, 888u);
        if (i > 0) {
            // A step interval shorter than asked can stall a motor: never below the delay.
            EXPECT_GE(lines[i].microseconds - lines[i - 1].microseconds, 2000);
        }
    }
}

TEST_F(DrivePortTest, NothingIsWrittenAfterKillAndANewDriveStartsAtOnce) {
    // The kill must end a long wait at once: the drive waits for good after its 15th write.
    Order(100000, 1000);
    longWaitAfter = 15;
    const int32_t number = ThreadCreate(DriveThread, 0);
    HANDLE own = DuplicateThreadHandle(number);
    ASSERT_NE(own, nullptr);
    ASSERT_TRUE(PumpUntil([] { return longWaitBegun != 0; }));
    ThreadKill(number);
    const size_t atKill = Trace().size();
    EXPECT_EQ(WaitForSingleObject(own, 1000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(own);
    // The drive's thread has ended: the trace is final.
    EXPECT_EQ(Trace().size(), atKill);
    EXPECT_EQ(drivesStopped, 1);
    EXPECT_EQ(drivesReported, 0);

    // The next drive draws a whole square of one pulse per side right after it.
    Order(1, 1000);
    ASSERT_NE(ThreadCreate(DriveThread, 0), 0);
    ASSERT_TRUE(PumpUntil([] { return drivesFinished == 2; }));
    const std::vector<TraceLine> lines = Trace();
    ASSERT_EQ(lines.size(), atKill + 12);
    EXPECT_EQ(Values(lines, atKill), SquareBytes(1));
    const std::vector<unsigned> first =
        Values(std::vector<TraceLine>(lines.begin(), lines.begin() + atKill));
    std::vector<unsigned> expected = SquareBytes(100000);
    expected.resize(atKill);
    EXPECT_EQ(first, expected);
    EXPECT_EQ(drivesReported, 1);
}

// A system whose high-resolution timer refuses to be set, which Wine never is on its own: the
// fine wait falls back to the 1 ms timer period, counted here.
volatile LONG periodsBegun = 0;
volatile LONG periodsEnded = 0;
HANDLE CreatePlainTimer() {
    return CreateWaitableTimerA(nullptr, FALSE, nullptr);
}
BOOL WINAPI RefuseToSet(HANDLE, const LARGE_INTEGER*, LONG, PTIMERAPCROUTINE, LPVOID, BOOL) {
    return FALSE;
}
MMRESULT WINAPI CountBegin(UINT) {
    InterlockedIncrement(&periodsBegun);
    return TIMERR_NOERROR;
}
MMRESULT WINAPI CountEnd(UINT) {
    InterlockedIncrement(&periodsEnded);
    return TIMERR_NOERROR;
}
const FineWaitPlatform REFUSED_TIMER = {CreatePlainTimer, RefuseToSet, CountBegin, CountEnd};

void Kill(int32_t number) {
    ThreadKill(number);
}
void CloseWhileDrawing(int32_t) {
    ThreadStopAll(); // as shut-down stops every drive
}

// A stop that finds a step line high ends the pulse at once with the same byte, step lines low
// and direction kept, and writes nothing after it; one between pulses writes nothing. Whichever
// way the drive ends, it gives back the timer period it took when its timer failed.
TEST_F(DrivePortTest, AStopEndsABegunPulseAndEveryExitGivesBackTheTimerPeriod) {
    const struct {
        const char* name;
        LONG stopAfterWrite; // 0: the square completes
        void (*stop)(int32_t number);
        std::vector<unsigned> ending; // what the stop writes
    } rows[] = {
        {"complete", 0, nullptr, {}},
        {"stopped with side 3's step high", 12, Kill, {1}},
        {"closed with side 4's step high", 17, CloseWhileDrawing, {4}},
        {"stopped between pulses", 13, Kill, {}},
    };
    // Waits 3 ms after every write, which the timer sleeps a part of before the spin, but one,
    // after which it waits for good: the stop comes there.
    drivesPlatform = &REFUSED_TIMER;
    Order(2, 3000);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t before = Trace().size();
        const LONG finished = drivesFinished;
        waits = 0;
        longWaitAfter = row.stopAfterWrite;
        periodsBegun = 0;
        periodsEnded = 0;
        const int32_t number = ThreadCreate(DriveThread, 0);
        ASSERT_NE(number, 0);
        std::vector<unsigned> expected = SquareBytes(2);
        if (row.stop != nullptr) {
            const size_t written = before + static_cast<size_t>(row.stopAfterWrite);
            ASSERT_TRUE(PumpUntil([&] { return Trace().size() >= written; }));
            row.stop(number);
            expected.resize(static_cast<size_t>(row.stopAfterWrite));
            expected.insert(expected.end(), row.ending.begin(), row.ending.end());
        }
        ASSERT_TRUE(PumpUntil([&] { return drivesFinished == finished + 1; }));
        EXPECT_EQ(Values(Trace(), before), expected);
        EXPECT_EQ(periodsBegun, 1) << "the failed timer was not replaced by the timer period";
        EXPECT_EQ(periodsEnded, periodsBegun);
    }
}

// Held between its last write (and the wait after it) and its report until the case lets it go;
// then it reports as the program's drive does.
HANDLE heldAtReport = nullptr;
HANDLE letGo = nullptr;
void ReportWhenLetGo(void* pace, intptr_t drive) {
    SetEvent(heldAtReport);
    WaitForSingleObject(letGo, INFINITE);
    ProgramSquareDriveIo().reportDone(pace, drive);
}
DWORD WINAPI HeldDrive(LPVOID) {
    SquareDriveIo io = ProgramSquareDriveIo();
    io.reportDone = ReportWhenLetGo;
    DrawPacedSquare(App.driveOrder, io);
    InterlockedIncrement(&drivesFinished);
    return 0;
}

// The drive hands its progress and its completion to the window's thread as events that name it,
// and that thread alone decides on "Fertig!". A stop made there after the drive's last write,
// with the completion still to come, leaves nothing to report, and the progress still queued
// from before the stop shows nothing. The stop comes in the gap that a drive checking for a stop
// itself and then reporting could never close.
TEST_F(DrivePortTest, ACompletionThatAStopOvertookReportsNothing) {
    App.mainWindow = reinterpret_cast<HWND>(
        OpenNumberedWindow(14, 0, 0, 100, 100, "Kalibrix", WS_CAPTION | WINDOW_INVISIBLE));
    ASSERT_NE(App.mainWindow, nullptr);
    heldAtReport = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    letGo = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Order(1, 1000);
    const struct {
        const char* name;
        bool stop;
        bool reported;
    } rows[] = {
        {"let go", false, true},
        {"stopped between its last write and its report", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t before = Trace().size();
        const LONG finished = drivesFinished;
        StartSquareDrive(drivesOrder, HeldDrive);
        ASSERT_NE(App.workerThread, 0);
        ASSERT_TRUE(
            PumpUntil([] { return WaitForSingleObject(heldAtReport, 0) == WAIT_OBJECT_0; }));
        EXPECT_EQ(Values(Trace(), before), SquareBytes(1));
        if (row.stop) {
            StopSquareDrive();
        }
        SetEvent(letGo);
        // Once the drive has ended, all it posted waits in the thread's queue or, dispatched
        // meanwhile, in the event queue.
        ASSERT_TRUE(PumpUntil([&] { return drivesFinished == finished + 1; }));
        // Its progress, posted before the stop, is stale as well.
        int taken[DRIVE_NO_PORT + 1] = {};
        for (MSG waiting; CurrentEventState()->queueHead != nullptr ||
                          PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE);) {
            DriveReport report;
            if (WaitEvent(0) == EVENT_APPLICATION &&
                TakeDriveReport(CurrentEventGadget(), CurrentEventDetail(), &report)) {
                ++taken[report.kind];
            }
        }
        EXPECT_EQ(taken[DRIVE_DONE], row.reported ? 1 : 0);
        EXPECT_EQ(taken[DRIVE_PROGRESS] > 0, row.reported);
        EXPECT_EQ(taken[DRIVE_NO_PORT], 0);
        EXPECT_EQ(Values(Trace(), before), SquareBytes(1)) << "a write after the report";
    }
    CloseNumberedWindow(14);
    App.mainWindow = nullptr;
    CloseHandle(heldAtReport);
    CloseHandle(letGo);
}

TEST_F(DrivePortTest, AMissingOut32SkipsTheWritesButTheDriveCompletes) {
    ASSERT_NE(LibraryOpen(0, "kernel32.dll"), 0);
    Order(1, 1000);
    ASSERT_NE(ThreadCreate(DriveThread, 0), 0);
    ASSERT_TRUE(PumpUntil([] { return drivesFinished == 1; }));
    EXPECT_EQ(drivesReported, 1);
    EXPECT_TRUE(Trace().empty());
}

} // namespace
