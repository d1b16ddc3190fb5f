#include "app/square_drive.h"

#include "app/app_state.h"
#include "gui/event_wait.h"
#include "gui/gadgets.h"
#include "runtime/fine_wait.h"
#include "runtime/libraries.h"
#include "runtime/string_workspace.h"
#include "runtime/threads.h"

namespace {

struct Side {
    uint8_t stepHigh;
    uint8_t stepLow; // the side's direction with both step lines at rest
};

// X forward, Y forward, X back, Y back, in signals (PortWiringMap): bit 0 X direction, bit 1
// X step, bit 2 Y direction, bit 3 Y step. A stepper driver samples its direction line at the
// step edge and needs it steady some microseconds before, so each side writes its step-low byte
// (the direction alone) and waits before its first step. The step-low byte also ends every
// pulse, a stopped one included.
const Side SIDES[4] = {{2, 0}, {8, 0}, {3, 1}, {12, 4}};

int64_t ReadOrZero(int64_t (*read)(void*), void* context) {
    return read != nullptr ? read(context) : 0;
}

// Only the low 32 bits count, as a signed number.
int32_t ReadStepCount(const SquareDriveIo& io) {
    return static_cast<int32_t>(static_cast<uint32_t>(ReadOrZero(io.readStepCount, io.context)));
}

bool Write(const SquareDriveIo& io, uint32_t port, uint8_t value, uint8_t idle) {
    return io.writePort == nullptr || io.writePort(io.context, port, value, idle);
}

bool Wait(const SquareDriveIo& io) {
    // Only the low 32 bits of the delay count.
    const uint32_t milliseconds = static_cast<uint32_t>(ReadOrZero(io.readDelay, io.context));
    return io.sleep == nullptr || io.sleep(io.context, milliseconds);
}

} // namespace

bool DrawSquare(const SquareDriveIo& io) {
    const uint32_t port = static_cast<uint32_t>(ReadOrZero(io.readPortAddress, io.context));
    // The port library takes 16 bits: a larger address would reach another device's register.
    if (port == 0 || port > PORT_ADDRESS_MAX) {
        return false;
    }
    // On the machine's pins and levels, once: a step line at rest may be high, and what ends a
    // pulse (a stop's last write too) is the mapped step-low byte.
    const PortWiring& wiring = io.wiring != nullptr ? *io.wiring : DEFAULT_PORT_WIRING;
    Side sides[4];
    for (size_t i = 0; i < 4; ++i) {
        sides[i] = {PortWiringMap(wiring, SIDES[i].stepHigh),
                    PortWiringMap(wiring, SIDES[i].stepLow)};
    }
    // Read before the wait ahead of the pulse it decides on: only the write follows a deadline.
    int32_t steps = ReadStepCount(io);
    for (const Side& side : sides) {
        // Wider than the step count, so that a count of 2^31 - 1 still ends its side.
        for (int64_t pulse = 0; pulse < steps; ++pulse) {
            if (pulse == 0 && !(Write(io, port, side.stepLow, side.stepLow) && Wait(io))) {
                return false;
            }
            if (!(Write(io, port, side.stepHigh, side.stepLow) && Wait(io)) ||
                !Write(io, port, side.stepLow, side.stepLow)) {
                return false;
            }
            steps = ReadStepCount(io);
            if (!Wait(io)) {
                return false;
            }
        }
    }
    if (io.reportDone != nullptr) {
        io.reportDone(io.context, io.drive);
    }
    return true;
}

namespace {

// "Out32" of the port library: the port and the byte, each as a 16-bit word.
using Out32Function = void(WINAPI*)(short port, short value);

Out32Function FindOut32() {
    FARPROC found = LibraryGetFunction(0, "Out32");
    return reinterpret_cast<Out32Function>(reinterpret_cast<void (*)()>(found));
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
// for the next write, and what a stop writes while a step line is high.
struct DrivePace {
    FineWait wait;
    int64_t lastWrite; // performance counter
    Out32Function out32;
    bool out32Found; // out32 is the next write's (it may be null: the library has none)
    PortWrite endPulse;
};

void DrivePaceBegin(DrivePace* pace, const FineWaitPlatform* platform) {
    FineWaitOpen(&pace->wait, platform);
    pace->lastWrite = FineWaitNow();
    pace->out32 = nullptr;
    pace->out32Found = false;
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

// Until the milliseconds have passed since the last write; a stop ends the wait at once. The next
// write's "Out32" is found first, so that only the write itself follows the deadline.
bool DriveSleep(void* context, uint32_t milliseconds) {
    auto* pace = static_cast<DrivePace*>(context);
    if (!ThreadRunUnlessStopped(FindNextOut32, pace)) {
        return false;
    }
    const int64_t deadline = FineWaitAfter(&pace->wait, pace->lastWrite, milliseconds);
    return FineWaitUntil(&pace->wait, deadline, ThreadStopEvent()) && !ThreadStopRequested();
}

int64_t DriveReadStepCount(void*) {
    return SharedTextParseInteger(&App.stepsText);
}

int64_t DriveReadDelay(void*) {
    return SharedTextParseInteger(&App.delayText);
}

// Gadget 15 is read once, from the drive's own thread, into a block of the drive's (the
// StringWorkspace belongs to the main thread), and whole, as the start command checked it: a
// text of many leading zeros must not be cut to another address.
int64_t DriveReadPortAddress(void*) {
    HANDLE heap = GetProcessHeap();
    for (int32_t size = 64;; size *= 2) {
        auto* text = static_cast<char*>(HeapAlloc(heap, 0, static_cast<SIZE_T>(size)));
        if (text == nullptr) {
            return 0; // no address, so the drive writes nothing
        }
        const int32_t length = ReadGadgetTextInto(15, text, size);
        const int64_t address = ParseInteger(text);
        HeapFree(heap, 0, text);
        if (length < size - 1) {
            return address;
        }
        if (size > INT32_MAX / 2) {
            return 0; // a text too long to read whole names no address
        }
    }
}

void DriveReportDone(void* context, intptr_t drive) {
    // The square is done: the timer resolution goes back before anything else.
    DrivePaceEnd(static_cast<DrivePace*>(context));
    // Also after a stop: the window's thread knows whether one came first, this thread cannot.
    PostApplicationEvent(App.mainWindow, drive);
}

} // namespace

SquareDriveIo ProgramSquareDriveIo() {
    return {
        nullptr,
        DriveReadPortAddress,
        DriveReadStepCount,
        DriveReadDelay,
        DriveWritePort,
        DriveSleep,
        DriveReportDone,
        nullptr,
        0,
    };
}

bool DrawPacedSquare(SquareDriveIo io, const FineWaitPlatform* platform) {
    DrivePace pace;
    DrivePaceBegin(&pace, platform);
    io.context = &pace;
    const bool complete = DrawSquare(io);
    DrivePaceEnd(&pace);
    return complete;
}

namespace {

void TakeDriveWiring(void* wiring) {
    *static_cast<PortWiring*>(wiring) = App.driveWiring;
}

} // namespace

DWORD WINAPI SquareDrive(LPVOID parameter) {
    // A drive stopped before it ran (the window closed right after the start) reads nothing:
    // shut-down may already be taking down the tables it would read. The wiring is taken whole
    // before a stop or not at all, and the next start writes it only once this drive is stopped.
    PortWiring wiring;
    if (!ThreadRunUnlessStopped(TakeDriveWiring, &wiring)) {
        return 0;
    }
    SquareDriveIo io = ProgramSquareDriveIo();
    io.wiring = &wiring;
    io.drive = reinterpret_cast<intptr_t>(parameter);
    DrawPacedSquare(io);
    return 0;
}

void StopSquareDrive() {
    ThreadKill(App.workerThread);
    ++App.driveGeneration;
}

void StartSquareDrive(ThreadProcedure procedure) {
    ++App.driveGeneration;
    App.workerThread = ThreadCreate(procedure, App.driveGeneration);
}

bool IsCurrentDrive(intptr_t drive) {
    return drive == App.driveGeneration;
}
