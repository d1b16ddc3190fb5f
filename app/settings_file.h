// The wiring of the port's data pins to the machine's step and direction inputs: which pin
// carries each of the drive's four signals, and at which levels. Breakout boards differ (many
// take step on pin 2 and direction on pin 3, opto-coupled inputs are active low), so the user
// sets it in kalibrix.ini beside the program, section [Anschluss]; without a file or key the
// default holds.
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

// Why a settings file is refused, for the message: "muss <key> <mustBe><otherKey>".
struct PortWiringRefusal {
    const char* key;
    const char* mustBe;
    const char* otherKey; // the key whose pin `key` repeats; "" for the other faults
};

// Reads [Anschluss] of the settings file at the full path `path` (a bare name would be looked
// for in the Windows folder). A missing file or key keeps its default. False when a value is
// not a whole number, a pin lies outside 2 to 9, a level is neither 0 nor 1, or two signals
// share a pin; `refusal` then names the key, and `wiring` is left as it was.
bool ReadPortWiring(const char* path, PortWiring* wiring, PortWiringRefusal* refusal);

// The full path of kalibrix.ini in the folder of the running program, never the current
// folder. False when it does not fit into `size` bytes.
bool SettingsFilePath(char* path, uint32_t size);
