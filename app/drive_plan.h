// What a drive writes to the port and when: the bytes of its runs on the machine's pins and
// levels, and the wait after each write, ramps included. Pure arithmetic, so that the times can
// be checked without a port, a timer or a thread; the drive's pacer keeps them.
#pragma once

#include <cstdint>
#include "app/settings_file.h"

// The runs of a drive, in order: with a pre-travel first X back, X forward, Y back and Y forward,
// then the square's four sides, X forward, Y forward, X back, Y back.
constexpr uint32_t FIRST_SIDE_RUN = 4;
constexpr uint32_t RUN_COUNT = 8;

// The largest I/O address: "Out32" takes a 16-bit port.
constexpr uint32_t PORT_ADDRESS_MAX = 0xFFFF;
// The half-step delay in microseconds: 0.02 ms to the largest whole number of milliseconds the
// field has always taken (one more would be Sleep's endless wait).
constexpr uint64_t DELAY_MIN = 20;
constexpr uint64_t DELAY_MAX = UINT64_C(4294967294000);

// What a start command checked and hands to the drive it starts, whole and by value: the drive
// uses nothing else.
struct DriveOrder {
    uint32_t port;          // the data register, 1 to PORT_ADDRESS_MAX
    int32_t steps;          // per side
    uint64_t delay;         // D, the wait after each write at full rate, in microseconds
    DriveSettings settings; // kalibrix.ini
    intptr_t name;          // what the drive's reports carry
};

struct PlannedWrite {
    uint8_t value;
    uint8_t idle; // the same byte with its step line at rest: what ends it when a stop comes
    uint32_t run;
    uint64_t wait; // microseconds from this write to the next
};

// A plan under way. Each run sets its direction in a write of its own with every step line at
// rest and waits D, since a stepper driver samples its direction line at the step edge and needs
// it steady some microseconds before; then each of its steps raises the step line, waits half
// the step's interval, drops it and waits the other half. At full rate a half is D. With a ramp
// of R steps, step n of a run is due (sqrt(f0^2 + 2an) - f0) / a after its first, with
// f0 = 1 / (2S), f = 1 / (2D) and a = (f^2 - f0^2) / (2R); its last R steps mirror its first,
// and a run shorter than 2R accelerates for its first half and decelerates for its second. Each
// half is rounded up to the microsecond and never below D.
struct DrivePlan {
    uint8_t stepHigh[RUN_COUNT];
    uint8_t stepLow[RUN_COUNT]; // the run's direction with both step lines at rest
    int64_t pulses[RUN_COUNT];
    uint64_t delay;
    uint32_t ramp;            // 0 where there is none
    double startRateSquared;  // f0^2, f0 in steps per microsecond
    double accelerationTwice; // 2a
    uint32_t run;             // of the next write
    int64_t pulse;            // of the next write; -1: its run's direction write
    bool raised;              // the pulse under way has its step line up: the next write drops it
    uint64_t half;            // of the pulse under way
    uint64_t left;            // planned microseconds after the wait of the write planned last
};

// The plan of an order. Runs of no step (a step count of 0 or below) write nothing.
void DrivePlanBegin(DrivePlan* plan, const DriveOrder& order);
// The next write; false when the drive is done.
bool DrivePlanNext(DrivePlan* plan, PlannedWrite* write);

// The writes of a drive: 8 x steps + 4 without a pre-travel, 8 x (steps + pretravel) + 8 with one.
uint64_t DriveWrites(int32_t steps, uint32_t pretravel);
