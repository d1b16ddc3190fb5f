#include "app/settings_file.h"

#include <windows.h>
#include <cstring>
#include "runtime/string_workspace.h"

namespace {

const char SETTINGS_FILE[] = "kalibrix.ini";

constexpr uint8_t FIRST_PIN = 2;
constexpr uint8_t LAST_PIN = 9;

struct SettingsKey {
    const char* section;
    const char* name;
    uint32_t fallback; // a single digit
    uint32_t lowest;
    uint32_t highest;
    const char* mustBe;
    int32_t decimals = 0; // 3: milliseconds, read in microseconds
};

const char* const CONNECTION = "Anschluss";
const char* const DRAWING = "Zeichnen";
const char* const PIN = "eine Pinnummer von 2 bis 9 sein";
const char* const LEVEL = "0 oder 1 sein";
const char* const STEPS = "eine ganze Zahl von 0 bis 1000000 sein";

// In the order the file is read and checked, which is also the order of the values that
// ReadSettingsFile takes them into; of two signals on one pin, the later one is named.
const SettingsKey KEYS[] = {
    {CONNECTION, "XTakt", DEFAULT_PORT_WIRING.xStepPin, FIRST_PIN, LAST_PIN, PIN},
    {CONNECTION, "XRichtung", DEFAULT_PORT_WIRING.xDirectionPin, FIRST_PIN, LAST_PIN, PIN},
    {CONNECTION, "YTakt", DEFAULT_PORT_WIRING.yStepPin, FIRST_PIN, LAST_PIN, PIN},
    {CONNECTION, "YRichtung", DEFAULT_PORT_WIRING.yDirectionPin, FIRST_PIN, LAST_PIN, PIN},
    {CONNECTION, "TaktInvertiert", 0, 0, 1, LEVEL},
    {CONNECTION, "XRichtungInvertiert", 0, 0, 1, LEVEL},
    {CONNECTION, "YRichtungInvertiert", 0, 0, 1, LEVEL},
    {CONNECTION, "PortPruefen", DEFAULT_DRIVE_SETTINGS.checkPort, 0, 1, LEVEL},
    {DRAWING, "Vorlauf", 0, 0, PRETRAVEL_MAX, STEPS},
    {DRAWING, "Anlauf", 0, 0, RAMP_MAX, STEPS},
    {DRAWING, "Startwartezeit", DEFAULT_DRIVE_SETTINGS.startDelay / 1000, START_DELAY_MIN,
     START_DELAY_MAX, "eine Zahl von 0,020 bis 1000,000 sein", 3},
};
constexpr size_t KEY_COUNT = sizeof KEYS / sizeof KEYS[0];
constexpr size_t PIN_KEYS = 4; // the first four

// A value of the file as a decimal number within the key's range. GetPrivateProfileIntA would
// read "abc" as 0, a valid level, so the text itself is read.
bool ReadNumber(const char* path, const SettingsKey& key, uint32_t* number) {
    // A missing key reads as its default, an empty value as a text without digits.
    const char fallbackText[2] = {static_cast<char>('0' + key.fallback), '\0'};
    char text[32];
    const DWORD length =
        GetPrivateProfileStringA(key.section, key.name, fallbackText, text, sizeof text, path);
    // A longer value is cut to the buffer, and a cut one may look valid ("90" cut to "9").
    if (length >= sizeof text - 1) {
        return false;
    }
    uint64_t value = 0;
    if (!ParseDecimal(text, key.decimals, &value) || value < key.lowest || value > key.highest) {
        return false;
    }
    *number = static_cast<uint32_t>(value);
    return true;
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

bool ReadSettingsFile(const char* path, DriveSettings* settings, SettingsRefusal* refusal) {
    uint32_t values[KEY_COUNT];
    for (size_t i = 0; i < KEY_COUNT; ++i) {
        if (!ReadNumber(path, KEYS[i], &values[i])) {
            *refusal = {KEYS[i].name, KEYS[i].mustBe, ""};
            return false;
        }
    }
    for (size_t later = 1; later < PIN_KEYS; ++later) {
        for (size_t earlier = 0; earlier < later; ++earlier) {
            if (values[later] == values[earlier]) {
                *refusal = {KEYS[later].name, "auf einem anderen Pin liegen als ",
                            KEYS[earlier].name};
                return false;
            }
        }
    }
    // Every value is checked against its range above, so each fits its field.
    auto small = [&values](size_t i) { return static_cast<uint8_t>(values[i]); };
    *settings = {{small(0), small(1), small(2), small(3), small(4), small(5), small(6)},
                 small(7),
                 values[8],
                 values[9],
                 values[10]};
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
