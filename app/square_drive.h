// The square drive: pulses the X and Y step/direction lines on the parallel port so that a pen
// draws a square, after an optional pre-travel that takes up each axis's slack, and hands its
// progress and its end to the window's thread, which tells the user.
#pragma once

#include <windows.h>
#include <cstdint>
#include "app/drive_plan.h"
#include "runtime/fine_wait.h"
#include "runtime/threads.h"

// How far a drive has come, after one of its writes.
struct DriveProgress {
    uint32_t run;              // the run the write belongs to
    uint64_t writesMade;       // of the whole drive, this one included
    uint64_t writesInAll;      // of the whole drive
    uint64_t microsecondsLeft; // as planned after this write's wait, ramps included
};

// What the drive needs of the world. The program binds these to "Out32" and "Inp32" of library
// 0, the paced wait and events to the main window; tests bind them to recorders.
struct SquareDriveIo {
    void* context;
    // Writes one byte to the port; false when the drive has been told to stop. `idle` ends what
    // the byte begins: the same byte with its step line back at rest (equal to the byte when no
    // step line is raised). A drive stopped before its next write leaves the port at `idle`.
    bool (*writePort)(void* context, uint32_t port, uint8_t value, uint8_t idle);
    // Reads the port's data register into `value`, -1 where the library cannot read it; false
    // when the drive has been told to stop. Null where nothing can be read.
    bool (*readPort)(void* context, uint32_t port, int32_t* value);
    // Waits the microseconds after the write just made; false when the drive has been told to
    // stop.
    bool (*sleep)(void* context, uint64_t microseconds);
    // After every write, before its wait: how far the drive has come. The program's binding
    // passes it on to the window's thread a few times a second.
    void (*noteProgress)(void* context, intptr_t drive, const DriveProgress& progress);
    // Reports the square complete, once the last write and the wait after it are done, under
    // the drive's name. The program's binding gives the timer back and hands the completion to
    // the window's thread as an event; that thread alone decides whether "Fertig!" is still
    // true, so the drive shows no window and a stop never has to end one on its thread.
    void (*reportDone)(void* context, intptr_t drive);
    // Reports that the byte read back after the first write is not the one written: no port
    // answers at the address. The drive has ended, with its step lines at rest.
    void (*reportNoPort)(void* context, intptr_t drive, uint32_t port, uint8_t written,
                         uint8_t read);
};

// Draws the square of the order through the given operations, after the pre-travel of its
// settings, write by write and wait by wait as its plan has them. The next write is worked out
// before the wait ahead of it, so that only the write follows a deadline. Where the settings ask
// for it, the byte of the first write is read back before its wait. Returns true when the square
// is complete and reported, false when the drive was told to stop (nothing more is written
// then), no port answered (reported) or the port address lies outside the I/O space (nothing is
// written at all).
bool DrawSquare(const DriveOrder& order, const SquareDriveIo& io);

// The program's port write: "Out32" of library 0 with the port and the byte, unless the calling
// thread has been told to stop (then nothing is written and the result is false). A library
// without "Out32" skips the write silently and counts as written. While the byte has a step line
// raised, a stop of the thread writes `idle` at once, as the stop's last write. Its context is
// the pace that DrawPacedSquare passes, which notes when the write returned.
bool DriveWritePort(void* pace, uint32_t port, uint8_t value, uint8_t idle);

// The program's operations: the paced write, read-back and wait, the reports as events. Tests
// take them and replace the port reader or a report.
SquareDriveIo ProgramSquareDriveIo();
// DrawSquare paced as the program paces it: every wait runs from the moment the previous write
// returned and never ends earlier, a timer sleeping its bulk and a spin on the performance
// counter ending it, and "Out32" is found before the wait, so the work between two writes does
// not lengthen an interval and none is shorter than planned. The drive's thread runs above normal
// priority meanwhile. The pace is the context of every operation and is given back when the
// square ends. The fine wait runs on the system's calls unless a test gives its own.
bool DrawPacedSquare(const DriveOrder& order, SquareDriveIo io,
                     const FineWaitPlatform* platform = nullptr);

// The drive's thread procedure in the program; the parameter is the drive's name. Returns 0. It
// draws the order that StartSquareDrive left for it under that name.
DWORD WINAPI SquareDrive(LPVOID parameter);

// The drives as the window's thread keeps them. Only that thread calls these, and it also takes
// the completions, so a stop, a start and the decision on a completion come one after another
// and nothing falls between them. The drive started last is the current one until the next stop
// or start.

// Stops the current drive, if one runs; its completion, even one already on its way, no longer
// counts.
void StopSquareDrive();
// Starts the procedure (the program's drive unless a test gives its own) as the current drive,
// with the drive's name as its parameter and the order, named so, in App.driveOrder; its thread
// number goes to App.workerThread, 0 when the thread could not be created. Only once the drive
// before it is stopped: that one takes its order before its stop or never.
void StartSquareDrive(const DriveOrder& order, ThreadProcedure procedure = SquareDrive);
// A drive's report as the window's thread takes it.
enum DriveReportKind : uint8_t { DRIVE_PROGRESS, DRIVE_DONE, DRIVE_NO_PORT };
struct DriveReport {
    DriveReportKind kind;
    uint32_t run;          // progress: as in DriveProgress
    uint32_t percent;      // progress: of the writes, 0 to 100
    uint32_t secondsLeft;  // progress: rounded up, at most DRIVE_SECONDS_LEFT_MAX
    uint32_t port;         // no port: the address
    uint8_t written, read; // no port: the byte of the first write, and what the port read back
};
constexpr uint32_t DRIVE_SECONDS_LEFT_MAX = (1u << 22) - 1;

// The report an application event carries (its value and its detail). False when it names no
// current drive: one that was stopped or replaced, whose report changes nothing.
bool TakeDriveReport(intptr_t value, intptr_t detail, DriveReport* report);
