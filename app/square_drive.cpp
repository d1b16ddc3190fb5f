#include "app/square_drive.h"

#include "app/app_state.h"
#include "gui/gadgets.h"
#include "gui/message_requester.h"
#include "runtime/fine_wait.h"
#include "runtime/libraries.h"
#include "runtime/string_workspace.h"
#include "runtime/threads.h"

namespace {

struct Side {
    uint8_t stepHigh;
    uint8_t stepLow; // the side's direction with both step lines low
};

// X forward, Y forward, X back, Y back: bit 0 X direction, bit 1 X step, bit 2 Y direction,
// bit 3 Y step. A stepper driver samples its direction line at the step edge and needs it steady
// some microseconds before, so each side writes its step-low byte (the direction alone) and
// waits before its first step.
const Side SIDES[4] = {{2, 0}, {8, 0}, {3, 1}, {12, 4}};

int64_t ReadOrZero(int64_t (*read)(void*), void* context) {
    return read != nullptr ? read(context) : 0;
}

bool Write(const SquareDriveIo& io, uint32_t port, uint8_t value) {
    return io.writePort == nullptr || io.writePort(io.context, port, value);
}

bool Wait(const SquareDriveIo& io) {
    // Only the low 32 bits of the delay count.
    const uint32_t milliseconds = static_cast<uint32_t>(ReadOrZero(io.readDelay, io.context));
    return io.sleep == nullptr || io.sleep(io.context, milliseconds);
}

bool WriteAndWait(const SquareDriveIo& io, uint32_t port, uint8_t value) {
    return Write(io, port, value) && Wait(io);
}

} // namespace

bool DrawSquare(const SquareDriveIo& io) {
    const uint32_t port = static_cast<uint32_t>(ReadOrZero(io.readPortAddress, io.context));
    // The port library takes 16 bits: a larger address would reach another device's register.
    if (port == 0 || port > PORT_ADDRESS_MAX) {
        return false;
    }
    for (const Side& side : SIDES) {
        // Wider than the step count, so that a count of 2^31 - 1 still ends its side.
        for (int64_t pulse = 0;; ++pulse) {
            const int32_t steps = static_cast<int32_t>(
                static_cast<uint32_t>(ReadOrZero(io.readStepCount, io.context)));
            if (pulse >= steps) {
                break;
            }
            if (pulse == 0 && !WriteAndWait(io, port, side.stepLow)) {
                return false;
            }
            if (!WriteAndWait(io, port, side.stepHigh) || !WriteAndWait(io, port, side.stepLow)) {
                return false;
            }
        }
    }
    if (io.reportDone != nullptr) {
        io.reportDone(io.context);
    }
    return true;
}

namespace {

struct PortWrite {
    uint32_t port;
    uint8_t value;
};

void WriteThroughLibrary(void* context) {
    const auto* write = static_cast<const PortWrite*>(context);
    // A library without "Out32" makes this a silent no-op; the drive goes on as if written.
    LibraryCall(0, "Out32", write->port, write->value);
}

// The pace of one drive: its fine wait and the moment its last write returned.
struct DrivePace {
    FineWait wait;
    int64_t lastWrite; // performance counter
};

void DrivePaceBegin(DrivePace* pace) {
    FineWaitOpen(&pace->wait);
    pace->lastWrite = FineWaitNow();
}

// May be called more than once.
void DrivePaceEnd(DrivePace* pace) {
    FineWaitClose(&pace->wait);
}

} // namespace

bool DriveWritePort(void* context, uint32_t port, uint8_t value) {
    PortWrite write = {port, value};
    if (!ThreadRunUnlessStopped(WriteThroughLibrary, &write)) {
        return false;
    }
    // Taken once the write has returned, so the next write comes at least a delay after it.
    static_cast<DrivePace*>(context)->lastWrite = FineWaitNow();
    return true;
}

namespace {

// Until the milliseconds have passed since the last write; a stop ends the wait at once.
bool DriveSleep(void* context, uint32_t milliseconds) {
    const auto* pace = static_cast<const DrivePace*>(context);
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

void DriveReportDone(void* context) {
    // The completion message may stay open for long: the timer resolution goes back first.
    DrivePaceEnd(static_cast<DrivePace*>(context));
    // A drive stopped after its last write has nothing to report.
    if (!ThreadStopRequested()) {
        ShowMessage("Fertig!",
                    "Das Quadrat wurde erfolgreich gemalt, trage nun die Seitenl\xE4nge ein!", 0);
    }
}

} // namespace

SquareDriveIo ProgramSquareDriveIo() {
    return {
        nullptr,        DriveReadPortAddress, DriveReadStepCount, DriveReadDelay,
        DriveWritePort, DriveSleep,           DriveReportDone,
    };
}

bool DrawPacedSquare(SquareDriveIo io) {
    DrivePace pace;
    DrivePaceBegin(&pace);
    io.context = &pace;
    const bool complete = DrawSquare(io);
    DrivePaceEnd(&pace);
    return complete;
}

DWORD WINAPI SquareDrive(LPVOID) {
    // A drive stopped before it ran (the window closed right after the start) reads nothing:
    // shut-down may already be taking down the tables it would read.
    if (ThreadStopRequested()) {
        return 0;
    }
    DrawPacedSquare(ProgramSquareDriveIo());
    return 0;
}
