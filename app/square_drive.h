// The square drive: pulses the X and Y step/direction lines on the parallel port so that a pen
// draws a square, then tells the user to measure a side.
#pragma once

#include <windows.h>
#include <cstdint>
#include "app/port_wiring.h"
#include "runtime/fine_wait.h"

// What the drive needs of the world. The program binds these to gadget 15, the application's
// shared texts, "Out32" of library 0, the paced wait and the message requester; tests bind
// them to recorders.
struct SquareDriveIo {
    void* context;
    // The port address text, read once when the drive starts (gadget 15 in the program).
    int64_t (*readPortAddress)(void* context);
    // The step count and the delay, read anew before every pulse and every wait.
    int64_t (*readStepCount)(void* context);
    int64_t (*readDelay)(void* context);
    // Writes one byte to the port; false when the drive has been told to stop. `idle` ends what
    // the byte begins: the same byte with its step line back at rest (equal to the byte when no
    // step line is raised). A drive stopped before its next write leaves the port at `idle`.
    bool (*writePort)(void* context, uint32_t port, uint8_t value, uint8_t idle);
    // Waits the milliseconds after the write just made; false when the drive has been told to
    // stop.
    bool (*sleep)(void* context, uint32_t milliseconds);
    // Shows the completion message and returns when the user has confirmed it. The program's
    // binding shows nothing once the thread has been told to stop (ThreadStopRequested); a stop
    // that comes while the message is open ends its modal loop.
    void (*reportDone)(void* context);
    // The pins and levels the bytes go out on, taken once when the drive starts; null is the
    // default wiring.
    const PortWiring* wiring;
};

// The largest I/O address: "Out32" takes a 16-bit port.
constexpr uint32_t PORT_ADDRESS_MAX = 0xFFFF;

// Draws the square through the given operations: each side sets its direction in a write of its
// own (both step lines at rest), a wait ahead of its first step, then pulses its N steps. Every
// write is followed by its wait, and the step count that decides on the next pulse is read before
// that wait, so that only the write follows a deadline. Returns true when the square is complete
// and reported, false when the drive was told to stop (nothing more is written then) or the port
// address lies outside the I/O space (nothing is written at all).
bool DrawSquare(const SquareDriveIo& io);

// The program's port write: "Out32" of library 0 with the port and the byte, unless the calling
// thread has been told to stop (then nothing is written and the result is false). A library
// without "Out32" skips the write silently and counts as written. While the byte has a step line
// raised, a stop of the thread writes `idle` at once, as the stop's last write. Its context is
// the pace that DrawPacedSquare passes, which notes when the write returned.
bool DriveWritePort(void* pace, uint32_t port, uint8_t value, uint8_t idle);

// The program's operations: gadget 15, the shared texts, the paced write and wait, "Fertig!".
// Tests take them and replace the port reader or the report.
SquareDriveIo ProgramSquareDriveIo();
// DrawSquare paced as the program paces it: every wait runs from the moment the previous write
// returned, with a timer of 1 ms granularity or finer, and "Out32" is found before the wait, so
// the work between two writes does not lengthen an interval and none is shorter than the delay.
// The pace is the context of every operation and is given back when the square ends. The fine
// wait runs on the system's calls unless a test gives its own.
bool DrawPacedSquare(SquareDriveIo io, const FineWaitPlatform* platform = nullptr);

// The drive's thread procedure in the program (the parameter is ignored); returns 0. It drives
// the wiring that the start command checked and left in the application state.
DWORD WINAPI SquareDrive(LPVOID parameter);
