#include "app/square_drive.h"

#include "app/app_state.h"
#include "gui/event_wait.h"
#include "runtime/fine_wait.h"
#include "runtime/libraries.h"
#include "runtime/threads.h"

namespace {

// One drive under way: where it writes and how far it has come.
struct Drawing {
    const SquareDriveIo& io;
    intptr_t name;
    uint32_t port;
    bool readBack; // the first write is still to be read back
    DriveProgress progress;
};

// Writes one byte and notes how far the drive has come; false when the drive has been told to
// stop, or when the port did not give back the first byte (no port answers at the address; the
// byte set only directions, so no step had begun).
bool Put(Drawing* drawing, const PlannedWrite& write, uint64_t left) {
    const SquareDriveIo& io = drawing->io;
    if (io.writePort != nullptr &&
        !io.writePort(io.context, drawing->port, write.value, write.idle)) {
        return false;
    }
    if (drawing->readBack) {
        drawing->readBack = false;
        int32_t read = -1;
        if (!io.readPort(io.context, drawing->port, &read)) {
            return false;
        }
        if (read >= 0 && read != write.value) {
            if (io.reportNoPort != nullptr) {
                io.reportNoPort(io.context, drawing->name, drawing->port, write.value,
                                static_cast<uint8_t>(read));
            }
            return false;
        }
    }
    drawing->progress.run = write.run;
    ++drawing->progress.writesMade;
    drawing->progress.microsecondsLeft = left;
    if (io.noteProgress != nullptr) {
        io.noteProgress(io.context, drawing->name, drawing->progress);
    }
    return true;
}

} // namespace

bool DrawSquare(const DriveOrder& order, const SquareDriveIo& io) {
    // The port library takes 16 bits: a larger address would reach another device's register.
    if (order.port == 0 || order.port > PORT_ADDRESS_MAX) {
        return false;
    }
    DrivePlan plan;
    DrivePlanBegin(&plan, order);
    Drawing drawing = {io,
                       order.name,
                       order.port,
                       order.settings.checkPort != 0 && io.readPort != nullptr,
                       {0, 0, DriveWrites(order.steps, order.settings.pretravel), 0}};
    PlannedWrite write;
    bool more = DrivePlanNext(&plan, &write);
    while (more) {
        if (!Put(&drawing, write, plan.left)) {
            return false;
        }
        // The next write is worked out before the wait, so that only the write follows it.
        const uint64_t wait = write.wait;
        more = DrivePlanNext(&plan, &write);
        if (io.sleep != nullptr && !io.sleep(io.context, wait)) {
            return false;
        }
    }
    if (io.reportDone != nullptr) {
        io.reportDone(io.context, order.name);
    }
    return true;
}

namespace {

// "Out32" of the port library: the port and the byte, each as a 16-bit word.
using Out32Function = void(WINAPI*)(short port, short value);

Out32Function FindOut32() {
    return LibraryGetTypedFunction<Out32Function>(0, "Out32");
}

struct PortWrite {
    uint32_t port;
    uint8_t value;
};

void WriteThrough(Out32Function out32, const PortWrite& write) {
    // A library without "Out32" makes this a silent no-op; the drive goes on as if written.
    if (out32 != nullptr) {
        out32(static_cast<short>(write.port), static_cast<short>(write.value));
    }
}

// A stop's last write, on the stopping thread. Some drivers step on the falling edge: a line left
// high would step when the next square's first write drops it, after the user placed the pen.
void EndPulse(void* context) {
    WriteThrough(FindOut32(), *static_cast<const PortWrite*>(context));
}

// The pace of one drive: its fine wait, the moment its last write returned, the "Out32" found
// for the next write, what a stop writes while a step line is high, and the progress to pass on.
struct DrivePace {
    FineWait wait;
    int64_t lastWrite; // performance counter
    Out32Function out32;
    bool out32Found; // out32 is the next write's (it may be null: the library has none)
    PortWrite endPulse;
    intptr_t drive;
    DriveProgress progress; // as noted after the last write; writesInAll 0 before the first
    int64_t progressDue;    // performance counter; 0, so the first wait passes it on at once
};

void DrivePaceBegin(DrivePace* pace, const FineWaitPlatform* platform) {
    FineWaitOpen(&pace->wait, platform);
    pace->lastWrite = FineWaitNow();
    pace->out32 = nullptr;
    pace->out32Found = false;
    pace->drive = 0;
    pace->progress = {0, 0, 0, 0};
    pace->progressDue = 0;
}

// May be called more than once.
void DrivePaceEnd(DrivePace* pace) {
    FineWaitClose(&pace->wait);
    // The end-of-pulse write lives in the pace, which is about to go.
    ThreadSetStopAction(nullptr, nullptr);
}

struct PacedWrite {
    DrivePace* pace;
    PortWrite write;
    uint8_t idle;
};

// Runs unless the drive has been stopped; a stop cannot come between the write and the arming
// of the end-of-pulse write.
void WriteAndArm(void* context) {
    auto* paced = static_cast<PacedWrite*>(context);
    DrivePace* pace = paced->pace;
    WriteThrough(pace->out32Found ? pace->out32 : FindOut32(), paced->write);
    pace->out32Found = false;
    if (paced->idle != paced->write.value) {
        pace->endPulse = {paced->write.port, paced->idle};
        ThreadSetStopAction(EndPulse, &pace->endPulse);
    } else {
        ThreadSetStopAction(nullptr, nullptr);
    }
}

// The library table must not be read once the drive is stopped: shut-down closes the library
// right after the stop.
void FindNextOut32(void* context) {
    auto* pace = static_cast<DrivePace*>(context);
    pace->out32 = FindOut32();
    pace->out32Found = true;
}

} // namespace

bool DriveWritePort(void* context, uint32_t port, uint8_t value, uint8_t idle) {
    PacedWrite paced = {static_cast<DrivePace*>(context), {port, value}, idle};
    if (!ThreadRunUnlessStopped(WriteAndArm, &paced)) {
        return false;
    }
    // Taken once the write has returned, so the next write comes at least a delay after it.
    paced.pace->lastWrite = FineWaitNow();
    return true;
}

namespace {

// Drive names are multiples of four, so that a report's value carries its kind in the two low
// bits beside the name; the detail carries the figures.
constexpr intptr_t DRIVE_NAME_STEP = 4;
constexpr intptr_t REPORT_KIND_BITS = DRIVE_NAME_STEP - 1;

// Progress: the run in bits 0-2, the percentage in bits 3-9, the seconds left from bit 10 on.
// No port: the address in bits 0-15, the byte written in bits 16-23, the byte read from bit 24.
constexpr int PERCENT_SHIFT = 3;
constexpr int SECONDS_SHIFT = 10;
constexpr int WRITTEN_SHIFT = 16;
constexpr int READ_SHIFT = 24;

struct PostedReport {
    intptr_t value;
    uint32_t detail;
};

void PostReport(void* context) {
    const auto* report = static_cast<const PostedReport*>(context);
    PostApplicationEvent(App.mainWindow, report->value, static_cast<intptr_t>(report->detail));
}

// A stopped drive posts nothing more: once the stop has returned, shut-down may take down what a
// post uses. One already on its way says nothing either, as the window's thread knows.
void PostDriveReport(intptr_t drive, DriveReportKind kind, uint32_t detail) {
    PostedReport report = {drive | kind, detail};
    ThreadRunUnlessStopped(PostReport, &report);
}

constexpr uint64_t PROGRESS_INTERVAL_US = 250000;

// Hands the progress noted last to the window's thread, with the time the drive needs from now:
// the rest of this wait and what its plan has after it.
void PassOnProgress(DrivePace* pace, int64_t deadline) {
    const DriveProgress& progress = pace->progress;
    const bool all = progress.writesMade >= progress.writesInAll;
    const uint64_t percent = all ? 100 : progress.writesMade * 100 / progress.writesInAll;
    // The plan's time stops short of 2^64 microseconds, far past the longest the line shows.
    const uint64_t limit = uint64_t{DRIVE_SECONDS_LEFT_MAX} * 1000000;
    const uint64_t planned = progress.microsecondsLeft < limit ? progress.microsecondsLeft : limit;
    const uint64_t left =
        planned + static_cast<uint64_t>(FineWaitMicrosecondsLeft(&pace->wait, deadline));
    const uint64_t seconds = left >= limit ? DRIVE_SECONDS_LEFT_MAX : (left + 999999) / 1000000;
    PostDriveReport(pace->drive, DRIVE_PROGRESS,
                    progress.run | static_cast<uint32_t>(percent) << PERCENT_SHIFT |
                        static_cast<uint32_t>(seconds) << SECONDS_SHIFT);
    pace->progressDue = FineWaitAfter(&pace->wait, FineWaitNow(), PROGRESS_INTERVAL_US);
}

// Until the microseconds have passed since the last write returned, never less: a step that comes
// early can stall the motor, so a late wait is never made up for by a shorter one. A stop ends
// the wait at once. The next write's "Out32" is found first, so that only the write itself
// follows the deadline. The progress is passed on a few times a second, also in the middle of a
// long wait, whose deadline stays as it is.
bool DriveSleep(void* context, uint64_t microseconds) {
    auto* pace = static_cast<DrivePace*>(context);
    if (!ThreadRunUnlessStopped(FindNextOut32, pace)) {
        return false;
    }
    const int64_t deadline = FineWaitAfter(&pace->wait, pace->lastWrite, microseconds);
    for (;;) {
        const bool progressFirst = pace->progress.writesInAll != 0 && pace->progressDue < deadline;
        if (!FineWaitUntil(&pace->wait, progressFirst ? pace->progressDue : deadline,
                           ThreadStopEvent()) ||
            ThreadStopRequested()) {
            return false;
        }
        if (!progressFirst) {
            return true;
        }
        PassOnProgress(pace, deadline);
    }
}

void DriveNoteProgress(void* context, intptr_t drive, const DriveProgress& progress) {
    auto* pace = static_cast<DrivePace*>(context);
    pace->drive = drive;
    pace->progress = progress;
}

using Inp32Function = short(WINAPI*)(short port);

struct PortRead {
    uint32_t port;
    int32_t value;
};

// Like the writes, never once the drive is stopped. The library's answer is a word; the data
// register is its low byte.
void ReadBack(void* context) {
    auto* read = static_cast<PortRead*>(context);
    const auto inp32 = LibraryGetTypedFunction<Inp32Function>(0, "Inp32");
    read->value =
        inp32 != nullptr ? static_cast<uint8_t>(inp32(static_cast<short>(read->port))) : -1;
}

bool DriveReadPort(void*, uint32_t port, int32_t* value) {
    PortRead read = {port, -1};
    if (!ThreadRunUnlessStopped(ReadBack, &read)) {
        return false;
    }
    *value = read.value;
    return true;
}

// The drive is done either way: the timer resolution goes back before anything else.
void DriveReportDone(void* context, intptr_t drive) {
    DrivePaceEnd(static_cast<DrivePace*>(context));
    PostDriveReport(drive, DRIVE_DONE, 0);
}

void DriveReportNoPort(void* context, intptr_t drive, uint32_t port, uint8_t written,
                       uint8_t read) {
    DrivePaceEnd(static_cast<DrivePace*>(context));
    PostDriveReport(drive, DRIVE_NO_PORT,
                    port | uint32_t{written} << WRITTEN_SHIFT | uint32_t{read} << READ_SHIFT);
}

} // namespace

SquareDriveIo ProgramSquareDriveIo() {
    SquareDriveIo io = {};
    io.writePort = DriveWritePort;
    io.readPort = DriveReadPort;
    io.sleep = DriveSleep;
    io.noteProgress = DriveNoteProgress;
    io.reportDone = DriveReportDone;
    io.reportNoPort = DriveReportNoPort;
    return io;
}

bool DrawPacedSquare(const DriveOrder& order, SquareDriveIo io, const FineWaitPlatform* platform) {
    // Above the window's thread and other programs' normal work, so that the drive is back on the
    // processor as soon as a timer ends its sleep; the spin that ends each wait hands the
    // processor to any thread that is ready, so a single core still runs the window.
    HANDLE thread = GetCurrentThread();
    const int priority = GetThreadPriority(thread);
    SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
    DrivePace pace;
    DrivePaceBegin(&pace, platform);
    io.context = &pace;
    const bool complete = DrawSquare(order, io);
    DrivePaceEnd(&pace);
    SetThreadPriority(thread, priority);
    return complete;
}

namespace {

void TakeDriveOrder(void* order) {
    *static_cast<DriveOrder*>(order) = App.driveOrder;
}

} // namespace

DWORD WINAPI SquareDrive(LPVOID) {
    // A drive stopped before it ran (the window closed right after the start) reads nothing:
    // shut-down may already be taking down the tables it would read. The order is taken whole
    // before a stop or not at all, and the next start writes one only once this drive is stopped.
    DriveOrder order;
    if (!ThreadRunUnlessStopped(TakeDriveOrder, &order)) {
        return 0;
    }
    DrawPacedSquare(order, ProgramSquareDriveIo());
    return 0;
}

void StopSquareDrive() {
    ThreadKill(App.workerThread);
    App.driveGeneration += DRIVE_NAME_STEP;
}

void StartSquareDrive(const DriveOrder& order, ThreadProcedure procedure) {
    App.driveGeneration += DRIVE_NAME_STEP;
    App.driveOrder = order;
    App.driveOrder.name = App.driveGeneration;
    App.workerThread = ThreadCreate(procedure, App.driveGeneration);
}

namespace {

// No stop or start has come since the drive of this name started.
bool IsCurrentDrive(intptr_t drive) {
    return drive == App.driveGeneration;
}

} // namespace

bool TakeDriveReport(intptr_t value, intptr_t detail, DriveReport* report) {
    if (!IsCurrentDrive(value & ~REPORT_KIND_BITS)) {
        return false;
    }
    const uint32_t bits = static_cast<uint32_t>(detail);
    *report = {};
    report->kind = static_cast<DriveReportKind>(value & REPORT_KIND_BITS);
    if (report->kind == DRIVE_PROGRESS) {
        report->run = bits & 7;
        report->percent = bits >> PERCENT_SHIFT & 127;
        report->secondsLeft = bits >> SECONDS_SHIFT;
    } else if (report->kind == DRIVE_NO_PORT) {
        report->port = bits & 0xFFFF;
        report->written = static_cast<uint8_t>(bits >> WRITTEN_SHIFT);
        report->read = static_cast<uint8_t>(bits >> READ_SHIFT);
    }
    return report->kind <= DRIVE_NO_PORT;
}
