// Prints what a kalibrix.ini sets, read by the program's own ReadSettingsFile, for the shell
// tools that need the settings (tools/pen-path, tools/dry-run): one "name=number" line each, in
// terms of the data register rather than the pins. A step line rests at step_rest_level (a step
// is the edge away from it); an axis moves forward (+) where its direction line is at its
// forward level, back at the other. A ramp runs over `ramp` steps from `start_delay_us`.
//
//   kalibrix_settings KALIBRIX_INI
//
// A file the program would refuse prints the program's own sentence to standard error and ends
// with 1; a missing file or a wrong command line ends with 2, since the program would silently
// take the defaults for a file that is not there.
#include <windows.h>
#include <cstdio>
#include "app/settings_file.h"

namespace {

// Data register bit k is pin k + 2.
constexpr unsigned FIRST_PIN = 2;

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kalibrix_settings KALIBRIX_INI\n");
        return 2;
    }
    // The profile functions look for a bare name in the Windows folder, and the program names
    // its file by its full path, as the refusal shows it.
    char path[MAX_PATH];
    const DWORD length = GetFullPathNameA(argv[1], sizeof path, path, nullptr);
    if (length == 0 || length >= sizeof path) {
        std::fprintf(stderr, "kalibrix_settings: no full path for %s\n", argv[1]);
        return 2;
    }
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::fprintf(stderr, "kalibrix_settings: %s is not a file\n", path);
        return 2;
    }
    DriveSettings settings = DEFAULT_DRIVE_SETTINGS;
    SettingsRefusal refusal;
    if (!ReadSettingsFile(path, &settings, &refusal)) {
        // The sentence of the program's "Fehler".
        std::fprintf(stderr, SETTINGS_REFUSED_SENTENCE, path, refusal.key, refusal.mustBe,
                     refusal.otherKey);
        std::fputc('\n', stderr);
        return 1;
    }
    const PortWiring& wiring = settings.wiring;
    // TaktInvertiert=1 rests the step lines high; an inverted direction line is high for
    // forward, where the program's own direction signal is off.
    std::printf("x_step_bit=%u\n", wiring.xStepPin - FIRST_PIN);
    std::printf("x_direction_bit=%u\n", wiring.xDirectionPin - FIRST_PIN);
    std::printf("y_step_bit=%u\n", wiring.yStepPin - FIRST_PIN);
    std::printf("y_direction_bit=%u\n", wiring.yDirectionPin - FIRST_PIN);
    std::printf("step_rest_level=%u\n", static_cast<unsigned>(wiring.stepInverted));
    std::printf("x_forward_level=%u\n", static_cast<unsigned>(wiring.xDirectionInverted));
    std::printf("y_forward_level=%u\n", static_cast<unsigned>(wiring.yDirectionInverted));
    std::printf("check_port=%u\n", static_cast<unsigned>(settings.checkPort));
    std::printf("pretravel=%u\n", static_cast<unsigned>(settings.pretravel));
    std::printf("ramp=%u\n", static_cast<unsigned>(settings.ramp));
    std::printf("start_delay_us=%u\n", static_cast<unsigned>(settings.startDelay));
    return std::fflush(stdout) == 0 ? 0 : 2;
}
