// The square drive: pulses the X and Y step/direction lines on the parallel port so that a pen
// draws a square, then tells the user to measure a side.
#pragma once

#include <windows.h>
#include <cstdint>
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
    // Writes one byte to the port; false when the drive has been told to stop.
    bool (*writePort)(void* context, uint32_t port, uint8_t value);
    // Waits the milliseconds after the write just made; false when the drive has been told to
    // stop.
    bool (*sleep)(void* context, uint32_t milliseconds);
    // Shows the completion message and returns when the user has confirmed it. The program's
    // binding shows nothing once the thread has been told to stop (ThreadStopRequested); a stop
    // that comes while the message is open ends its modal loop.
    void (*reportDone)(void* context);
};

// The largest I/O address: "Out32" takes a 16-bit port.
constexpr uint32_t PORT_ADDRESS_MAX = 0xFFFF;

// Draws the square through the given operations: each side sets its direction in a write of its
// own, a wait ahead of its first step, then pulses its N steps. Returns true when the square is
// complete and reported, false when the drive was told to stop (nothing more is written then)
// or the port address lies outside the I/O space (nothing is written at all).
bool DrawSquare(const SquareDriveIo& io);

// The pace of one drive in the program: its fine wait and the moment of its last write. Every
// wait runs from that moment, so the work between two writes (reading the texts, finding
// "Out32") does not lengthen the interval, and no interval is shorter than the delay.
struct DrivePace {
    FineWait wait;
    int64_t lastWrite; // performance counter after the last write returned
};
// Raises the timer resolution for the drive's waits (see FineWaitOpen); DrivePaceEnd gives it
// back and may be called more than once.
void DrivePaceBegin(DrivePace* pace);
void DrivePaceEnd(DrivePace* pace);

// The program's port write, with a DrivePace as the context: "Out32" of library 0 with the port
// and the byte, unless the calling thread has been told to stop (then nothing is written and the
// result is false). A library without "Out32" skips the write silently and counts as written.
bool DriveWritePort(void* pace, uint32_t port, uint8_t value);
// The program's wait, with a DrivePace as the context: until the milliseconds have passed since
// the last write; a stop ends it at once, and the result is false then.
bool DriveSleep(void* pace, uint32_t milliseconds);
// The step count and the delay from the application's shared texts (App.stepsText, delayText).
int64_t DriveReadStepCount(void* context);
int64_t DriveReadDelay(void* context);

// The drive's thread procedure in the program (the parameter is ignored); returns 0.
DWORD WINAPI SquareDrive(LPVOID parameter);
