// The square drive: pulses the X and Y step/direction lines on the parallel port so that a pen
// draws a square, then tells the user to measure a side.
#pragma once

#include <windows.h>
#include <cstdint>

// What the drive needs of the world. The program binds these to gadget 15, the application's
// shared texts, "Out32" of library 0, the stoppable delay and the message requester; tests bind
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
    // Waits the milliseconds; false when the drive has been told to stop.
    bool (*sleep)(void* context, uint32_t milliseconds);
    // Shows the completion message and returns when the user has confirmed it. The program's
    // binding shows nothing once the thread has been told to stop (ThreadStopRequested); a stop
    // that comes while the message is open ends its modal loop.
    void (*reportDone)(void* context);
};

// Draws the square through the given operations. Returns true when the square is complete and
// reported, false when the drive was told to stop (nothing more is written then).
bool DrawSquare(const SquareDriveIo& io);

// The program's port write: "Out32" of library 0 with the port and the byte, unless the calling
// thread has been told to stop (then nothing is written and the result is false). A library
// without "Out32" skips the write silently and counts as written.
bool DriveWritePort(void* context, uint32_t port, uint8_t value);
// The program's wait: Delay, which a stop ends at once; false when the thread was told to stop.
bool DriveSleep(void* context, uint32_t milliseconds);
// The step count and the delay from the application's shared texts (App.stepsText, delayText).
int64_t DriveReadStepCount(void* context);
int64_t DriveReadDelay(void* context);

// The drive's thread procedure in the program (the parameter is ignored); returns 0.
DWORD WINAPI SquareDrive(LPVOID parameter);

// The operations the program's drive uses; tests may replace them before starting a drive.
const SquareDriveIo& ProgramSquareDriveIo();
