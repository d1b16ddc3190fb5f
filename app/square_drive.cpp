#include "app/square_drive.h"

#include "app/app_state.h"
#include "gui/gadgets.h"
#include "gui/message_requester.h"
#include "runtime/libraries.h"
#include "runtime/string_workspace.h"
#include "runtime/threads.h"

namespace {

struct Side {
    uint8_t stepHigh;
    uint8_t stepLow;
};

// X forward, Y forward, X back, Y back: bit 0 X direction, bit 1 X step, bit 2 Y direction,
// bit 3 Y step. A direction line changes in the same write that raises the side's first step.
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

struct PortWrite {
    uint32_t port;
    uint8_t value;
};

void WriteThroughLibrary(void* context) {
    const auto* write = static_cast<const PortWrite*>(context);
    // A library without "Out32" makes this a silent no-op; the drive goes on as if written.
    LibraryCall(0, "Out32", write->port, write->value);
}

} // namespace

bool DrawSquare(const SquareDriveIo& io) {
    const uint32_t port = static_cast<uint32_t>(ReadOrZero(io.readPortAddress, io.context));
    for (const Side& side : SIDES) {
        // Wider than the step count, so that a count of 2^31 - 1 still ends its side.
        for (int64_t pulse = 0;; ++pulse) {
            const int32_t steps = static_cast<int32_t>(
                static_cast<uint32_t>(ReadOrZero(io.readStepCount, io.context)));
            if (steps < pulse) {
                break;
            }
            if (!Write(io, port, side.stepHigh) || !Wait(io) || !Write(io, port, side.stepLow) ||
                !Wait(io)) {
                return false;
            }
        }
    }
    if (io.reportDone != nullptr) {
        io.reportDone(io.context);
    }
    return true;
}

bool DriveWritePort(void*, uint32_t port, uint8_t value) {
    PortWrite write = {port, value};
    return ThreadRunUnlessStopped(WriteThroughLibrary, &write);
}

bool DriveSleep(void*, uint32_t milliseconds) {
    Delay(milliseconds);
    return !ThreadStopRequested();
}

int64_t DriveReadStepCount(void*) {
    return SharedTextParseInteger(&App.stepsText);
}

int64_t DriveReadDelay(void*) {
    return SharedTextParseInteger(&App.delayText);
}

namespace {

// Gadget 15 is read once, from the drive's own thread, into a buffer of the drive's: the
// StringWorkspace belongs to the main thread.
int64_t DriveReadPortAddress(void*) {
    char text[1024];
    ReadGadgetTextInto(15, text, sizeof text);
    return ParseInteger(text);
}

void DriveReportDone(void*) {
    // A drive stopped after its last write has nothing to report.
    if (!ThreadStopRequested()) {
        ShowMessage("Fertig!",
                    "Das Quadrat wurde erfolgreich gemalt, trage nun die Seitenl\xE4nge ein!", 0);
    }
}

const SquareDriveIo PROGRAM_DRIVE_IO = {
    nullptr,        DriveReadPortAddress, DriveReadStepCount, DriveReadDelay,
    DriveWritePort, DriveSleep,           DriveReportDone,
};

} // namespace

const SquareDriveIo& ProgramSquareDriveIo() {
    return PROGRAM_DRIVE_IO;
}

DWORD WINAPI SquareDrive(LPVOID) {
    DrawSquare(ProgramSquareDriveIo());
    return 0;
}
