// kalibrix.ini beside the program: how the port's data pins are wired to the machine's step and
// direction inputs (section [Anschluss]) and how the square is drawn (section [Zeichnen]).
// Breakout boards differ (many take step on pin 2 and direction on pin 3, opto-coupled inputs
// are active low), and a leadscrew nut has slack to take up before the square; without a file or
// key the default holds.
#pragma once

#include <cstdint>

struct PortWiring {
    // Data pins 2 to 9; pin p is bit p - 2 of the data register.
    uint8_t xStepPin;      // XTakt
    uint8_t xDirectionPin; // XRichtung
    uint8_t yStepPin;      // YTakt
    uint8_t yDirectionPin; // YRichtung
    // 0 or 1.
    uint8_t stepInverted;       // TaktInvertiert: both step lines idle high, a pulse goes low
    uint8_t xDirectionInverted; // XRichtungInvertiert: the X direction level flipped
    uint8_t yDirectionInverted; // YRichtungInvertiert
};

// Pin 2 X direction, pin 3 X step, pin 4 Y direction, pin 5 Y step, all active high.
constexpr PortWiring DEFAULT_PORT_WIRING = {3, 2, 5, 4, 0, 0, 0};

// The drive composes its bytes of signals, each active high: bit 0 X direction, bit 1 X step,
// bit 2 Y direction, bit 3 Y step. Returns the port byte with each signal on its pin at its
// level; a pin that carries no signal is 0.
uint8_t PortWiringMap(const PortWiring& wiring, uint8_t signals);

// Everything kalibrix.ini sets, as a start command checked it for the drive it starts.
struct DriveSettings {
    PortWiring wiring;  // [Anschluss]
    uint8_t checkPort;  // [Anschluss] PortPruefen: 1 reads the first byte back from the port
    uint32_t pretravel; // [Zeichnen] Vorlauf: steps each axis runs back and forth first
    // A stepper started at full rate, or stopped from it, loses steps: each run accelerates
    // from the start delay to the delay over its first `ramp` steps and decelerates over its
    // last, at a constant rate.
    uint32_t ramp;       // [Zeichnen] Anlauf: steps; 0 runs every step at the delay
    uint32_t startDelay; // [Zeichnen] Startwartezeit: the half-step delay a ramp starts from, us
};

// Both in steps; the start delay in microseconds, like every time of the drive.
constexpr uint32_t PRETRAVEL_MAX = 1000000;
constexpr uint32_t RAMP_MAX = 1000000;
constexpr uint32_t START_DELAY_MIN = 20;
constexpr uint32_t START_DELAY_MAX = 1000000;
constexpr DriveSettings DEFAULT_DRIVE_SETTINGS = {DEFAULT_PORT_WIRING, 1, 0, 0, 5000};

// Why a settings file is refused, for the message: "muss <key> <mustBe><otherKey>".
struct SettingsRefusal {
    const char* key;
    const char* mustBe;
    const char* otherKey; // the key whose pin `key` repeats; "" for the other faults
};

// The one sentence that tells the user of a refused file, for sprintf with the file's path and
// the refusal's key, mustBe and otherKey.
constexpr char SETTINGS_REFUSED_SENTENCE[] = "In %s muss %s %s%s.";

// Reads the settings file at the full path `path` (a bare name would be looked for in the
// Windows folder). A missing file or key keeps its default. False when a value is not a whole
// number (the start delay: a number of milliseconds to the microsecond, with a point or a comma),
// a pin lies outside 2 to 9, a level is neither 0 nor 1, the pre-travel or the ramp lies outside
// 0 to 1000000 steps, the start delay outside 0.02 to 1000 ms, or two signals share a pin;
// `refusal` then names the key, and `settings` is left as it was.
bool ReadSettingsFile(const char* path, DriveSettings* settings, SettingsRefusal* refusal);

// The full path of kalibrix.ini in the folder of the running program, never the current
// folder. False when it does not fit into `size` bytes.
bool SettingsFilePath(char* path, uint32_t size);
