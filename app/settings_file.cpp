#include "app/port_wiring.h"

#include <windows.h>
#include <cstring>

namespace {

const char* const SECTION = "Anschluss";
const char SETTINGS_FILE[] = "kalibrix.ini";

struct WiringKey {
    const char* name;
    uint8_t PortWiring::*field;
    bool pin; // else a level flag
};

// In the order the file is read and checked; of two signals on one pin, the later one is named.
const WiringKey KEYS[] = {
    {"XTakt", &PortWiring::xStepPin, true},
    {"XRichtung", &PortWiring::xDirectionPin, true},
    {"YTakt", &PortWiring::yStepPin, true},
    {"YRichtung", &PortWiring::yDirectionPin, true},
    {"TaktInvertiert", &PortWiring::stepInverted, false},
    {"XRichtungInvertiert", &PortWiring::xDirectionInverted, false},
    {"YRichtungInvertiert", &PortWiring::yDirectionInverted, false},
};
constexpr size_t PIN_KEYS = 4; // the first four

constexpr uint8_t FIRST_PIN = 2;
constexpr uint8_t LAST_PIN = 9;

// A value of the file as a whole decimal number. GetPrivateProfileIntA would read "abc" as 0,
// a valid level, so the text itself is read.
bool ReadNumber(const char* path, const WiringKey& key, uint8_t fallback, uint32_t* number) {
    // A missing key reads as its default, an empty value as a text without digits.
    const char fallbackText[2] = {static_cast<char>('0' + fallback), '\0'};
    char text[16];
    const DWORD length =
        GetPrivateProfileStringA(SECTION, key.name, fallbackText, text, sizeof text, path);
    // A longer value is cut to the buffer, and a cut one may look valid ("90" cut to "9").
    if (length >= sizeof text - 1) {
        return false;
    }
    const char* at = text;
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    uint32_t value = 0;
    const char* digits = at;
    for (; *at >= '0' && *at <= '9'; ++at) {
        // Past three digits a number lies outside every range, and stays there.
        value = value < 1000 ? value * 10 + static_cast<uint32_t>(*at - '0') : value;
    }
    const bool any = at != digits;
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    *number = value;
    return any && *at == '\0';
}

} // namespace

uint8_t PortWiringMap(const PortWiring& wiring, uint8_t signals) {
    const struct {
        uint8_t pin;
        bool active;
        uint8_t inverted;
    } lines[] = {
        {wiring.xDirectionPin, (signals & 1) != 0, wiring.xDirectionInverted},
        {wiring.xStepPin, (signals & 2) != 0, wiring.stepInverted},
        {wiring.yDirectionPin, (signals & 4) != 0, wiring.yDirectionInverted},
        {wiring.yStepPin, (signals & 8) != 0, wiring.stepInverted},
    };
    uint8_t byte = 0;
    for (const auto& line : lines) {
        const bool high = line.active != (line.inverted != 0);
        if (high && line.pin >= FIRST_PIN && line.pin <= LAST_PIN) {
            byte = static_cast<uint8_t>(byte | 1u << (line.pin - FIRST_PIN));
        }
    }
    return byte;
}

bool ReadPortWiring(const char* path, PortWiring* wiring, PortWiringRefusal* refusal) {
    PortWiring read = DEFAULT_PORT_WIRING;
    for (const WiringKey& key : KEYS) {
        uint32_t number = 0;
        const bool valid = ReadNumber(path, key, DEFAULT_PORT_WIRING.*key.field, &number) &&
                           (key.pin ? number >= FIRST_PIN && number <= LAST_PIN : number <= 1);
        if (!valid) {
            *refusal = {key.name, key.pin ? "eine Pinnummer von 2 bis 9 sein" : "0 oder 1 sein",
                        ""};
            return false;
        }
        read.*key.field = static_cast<uint8_t>(number);
    }
    for (size_t later = 1; later < PIN_KEYS; ++later) {
        for (size_t earlier = 0; earlier < later; ++earlier) {
            if (read.*KEYS[later].field == read.*KEYS[earlier].field) {
                *refusal = {KEYS[later].name, "auf einem anderen Pin liegen als ",
                            KEYS[earlier].name};
                return false;
            }
        }
    }
    *wiring = read;
    return true;
}

bool SettingsFilePath(char* path, uint32_t size) {
    // A name that fills the buffer was cut (and XP leaves it without a terminator).
    const DWORD length = GetModuleFileNameA(nullptr, path, size);
    if (length == 0 || length >= size) {
        return false;
    }
    DWORD folderEnd = length;
    while (folderEnd > 0 && path[folderEnd - 1] != '\\' && path[folderEnd - 1] != '/') {
        --folderEnd;
    }
    if (folderEnd == 0 || size - folderEnd < sizeof SETTINGS_FILE) {
        return false;
    }
    std::memcpy(path + folderEnd, SETTINGS_FILE, sizeof SETTINGS_FILE);
    return true;
}
