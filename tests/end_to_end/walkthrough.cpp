// The dry run's walk-through: starts kalibrix.exe from the current folder (with the stand-in
// port library beside it) and does the main job as a user would: draws a square with the
// defaults (or the delay given), enters its sides and diagonals, calculates, and closes the
// window. Prints what happened and a summary of the port trace; exits with 1 when anything went
// other than expected. The trace is checked byte for byte, and each interval between two writes
// against the drive's plan; with a kalibrix.ini in the folder both follow its wiring, pre-travel
// and ramp, the file read by the program's own ReadSettingsFile.
//
//   kalibrix_walkthrough [--screenshot] [--delay MILLISECONDS]
//
// With --screenshot it prints "SCREENSHOT x y width height" while the result is shown and waits
// until the file "screenshot.done" appears in the folder before it closes the window.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include "app/drive_plan.h"
#include "runtime/string_workspace.h"
#include "tests/end_to_end/driver.h"
#include "tests/support/expected_square.h"
#include "tests/support/main_window_catalogue.h"
#include "tests/support/port_trace.h"

using namespace testsupport;

namespace {

constexpr DWORD WINDOW_TIMEOUT_MS = 30000;
constexpr DWORD BOX_TIMEOUT_MS = 10000;
constexpr DWORD SQUARE_TIMEOUT_MS = 60000;
// The walk-through keeps the program's step count, and its delay unless given one.
constexpr int SQUARE_STEPS = 100;
const char* const DEFAULT_DELAY = "5";

void Say(const std::string& line) {
    std::printf("walkthrough: %s\n", line.c_str());
    std::fflush(stdout);
}

int Fail(const std::string& what) {
    Say("FAILED: " + what);
    return 1;
}

bool AnswerBox(driver::Program& program, const char* title, DWORD timeoutMs) {
    HWND box = program.WaitForMessageBox(title, timeoutMs);
    if (box == nullptr) {
        return false;
    }
    Say("message \"" + std::string(title) + "\": \"" + driver::MessageBoxText(box) + "\"");
    return driver::AnswerMessageBox(box);
}

bool WaitForFile(const std::string& path, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!driver::FileExists(path)) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

// Where the trace first differs from the bytes expected, for the failure.
std::string FirstDifference(const std::vector<unsigned>& bytes,
                            const std::vector<unsigned>& expected) {
    size_t at = 0;
    while (at < bytes.size() && at < expected.size() && bytes[at] == expected[at]) {
        ++at;
    }
    std::string where = "write " + std::to_string(at + 1) + " of " + std::to_string(bytes.size()) +
                        " (" + std::to_string(expected.size()) + " expected): ";
    where += at < bytes.size() ? std::to_string(bytes[at]) : std::string("none");
    where += ", expected ";
    where += at < expected.size() ? std::to_string(expected[at]) : std::string("none");
    return where;
}

} // namespace

int main(int argc, char** argv) {
    bool screenshot = false;
    const char* delayText = DEFAULT_DELAY;
    bool delayGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0) {
            screenshot = true;
        } else if (std::strcmp(argv[i], "--delay") == 0 && i + 1 < argc) {
            delayText = argv[++i];
            delayGiven = true;
        } else {
            return Fail(std::string("usage: kalibrix_walkthrough [--screenshot] [--delay MS]"));
        }
    }
    // Read as the program reads the field; a delay it refuses, it says so below.
    uint64_t delay = 0;
    ParseDecimal(delayText, 3, &delay);
    char folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof folder, folder);

    // The settings the program will read at the start, from the same file with the same code.
    const std::string settingsPath = driver::JoinPath(folder, "kalibrix.ini");
    const bool withSettings = driver::FileExists(settingsPath);
    DriveSettings settings = DEFAULT_DRIVE_SETTINGS;
    SettingsRefusal refusal = {};
    const bool refused =
        withSettings && !ReadSettingsFile(settingsPath.c_str(), &settings, &refusal);
    SideBytes sides;
    WiredSides(settings.wiring, sides);
    const std::vector<unsigned> expected =
        SquareBytes(SQUARE_STEPS, sides, static_cast<int>(settings.pretravel));
    // The waits the program's plan has for this square, ramps included.
    DrivePlan plan;
    DrivePlanBegin(&plan, {888, SQUARE_STEPS, delay, settings, 0});
    std::vector<uint64_t> planned;
    uint64_t plannedTime = 0;
    for (PlannedWrite write; DrivePlanNext(&plan, &write);) {
        planned.push_back(write.wait);
        plannedTime += write.wait;
    }

    driver::Program program;
    program.UseFolder(folder);
    DeleteFileA(driver::JoinPath(folder, "screenshot.done").c_str());
    if (!program.Start()) {
        return Fail("kalibrix.exe did not start");
    }
    HWND window = program.WaitForWindow(WINDOW_TIMEOUT_MS);
    if (window == nullptr) {
        HWND error = program.FindMessageBox("Fehler");
        return Fail(error != nullptr ? "it says: " + driver::MessageBoxText(error)
                                     : std::string("its window did not open"));
    }
    Say("the window \"" + driver::WindowText(window) + "\" is open");

    if (delayGiven) {
        driver::Type(driver::Gadget(window, DELAY), delayText);
        driver::WaitForText(driver::Gadget(window, DELAY), delayText, BOX_TIMEOUT_MS);
        Say(std::string("delay ") + delayText + " ms");
    }
    driver::Click(driver::Gadget(window, START));
    if (!AnswerBox(program, "Fertig?", BOX_TIMEOUT_MS)) {
        // A kalibrix.ini the program refuses, for one.
        HWND error = program.FindMessageBox("Fehler");
        return Fail(error != nullptr ? "it says: " + driver::MessageBoxText(error)
                                     : "no \"Fertig?\" after \"Mal mir ein Quadrat!\"");
    }
    // A long pre-travel or ramp lengthens the square: twice its plan, to spare.
    if (!AnswerBox(program, "Fertig!", SQUARE_TIMEOUT_MS + static_cast<DWORD>(plannedTime / 500))) {
        return Fail("the square did not finish");
    }

    // The stand-in draws a true square: both sides 25 mm, both diagonals 25 * sqrt(2) mm.
    driver::Type(driver::Gadget(window, SIDE_X), "25");
    driver::Type(driver::Gadget(window, SIDE_Y), "25");
    driver::Type(driver::Gadget(window, DIAGONAL_FROM_START), "35,36");
    driver::Type(driver::Gadget(window, OTHER_DIAGONAL), "35,36");
    driver::Click(driver::Gadget(window, CALCULATE));
    // The angle is written last.
    const std::string angle = driver::WaitForAnyText(driver::Gadget(window, ANGLE), BOX_TIMEOUT_MS);
    const std::string shown = driver::WindowText(driver::Gadget(window, MM_PER_STEP_X));
    const std::string perMm = driver::WindowText(driver::Gadget(window, STEPS_PER_MM_X));
    const std::string shownY = driver::WindowText(driver::Gadget(window, MM_PER_STEP_Y));
    const std::string perMmY = driver::WindowText(driver::Gadget(window, STEPS_PER_MM_Y));
    Say("sides 25 mm, diagonals 35,36 mm, \"Berechnen!\" shows X " + shown + " mm per step and " +
        perMm + " steps per mm, Y " + shownY + " and " + perMmY + ", angle " + angle);

    if (screenshot) {
        RECT rect;
        GetWindowRect(window, &rect);
        std::printf("SCREENSHOT %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top);
        std::fflush(stdout);
        if (!WaitForFile(driver::JoinPath(folder, "screenshot.done"), WINDOW_TIMEOUT_MS)) {
            Say("no screenshot was taken");
        }
    }

    driver::Close(window);
    const DWORD exitCode = program.WaitForExit(BOX_TIMEOUT_MS);
    if (exitCode == STILL_ACTIVE) {
        return Fail("the program did not end after the close box");
    }
    Say("closed, exit code " + std::to_string(exitCode));

    const std::vector<PortWrite> trace = ReadTrace(program.TracePath());
    std::set<unsigned> ports;
    std::vector<unsigned> bytes;
    for (const PortWrite& write : trace) {
        ports.insert(write.port);
        bytes.push_back(write.value);
    }
    std::string portList;
    for (unsigned port : ports) {
        portList += (portList.empty() ? "" : ", ") + std::to_string(port);
    }
    char duration[32] = "0.00";
    if (trace.size() > 1) {
        std::snprintf(duration, sizeof duration, "%.2f",
                      (trace.back().microseconds - trace.front().microseconds) / 1e6);
    }
    std::printf("Dry run: %u port writes to port %s in %s s (D = %s ms), result %s mm per step, "
                "%s steps per mm\n",
                static_cast<unsigned>(trace.size()), portList.empty() ? "-" : portList.c_str(),
                duration, delayText, shown.c_str(), perMm.c_str());
    std::fflush(stdout);

    if (refused) {
        return Fail(std::string("a square was drawn, although ReadSettingsFile refuses ") +
                    "kalibrix.ini at " + refusal.key);
    }
    if (bytes != expected) {
        std::string square = "the square of 4 sides of " + std::to_string(SQUARE_STEPS) + " steps";
        if (settings.pretravel > 0) {
            square += " after a pre-travel of " + std::to_string(settings.pretravel) + " steps";
        }
        if (withSettings) {
            square += " on the wiring of kalibrix.ini";
        }
        return Fail("the port trace is not " + square + ": " + FirstDifference(bytes, expected));
    }
    // A step interval shorter than planned can stall a motor; a longer one only costs time.
    for (size_t i = 1; i < trace.size(); ++i) {
        const long long interval = trace[i].microseconds - trace[i - 1].microseconds;
        if (interval < static_cast<long long>(planned[i - 1])) {
            return Fail("write " + std::to_string(i + 1) + " came " + std::to_string(interval) +
                        " us after the one before, its plan says " +
                        std::to_string(planned[i - 1]) + " us");
        }
    }
    if (ports != std::set<unsigned>{888}) {
        return Fail("writes went to other ports than 888");
    }
    if (shown != "0.250000" || perMm != "4.000" || shownY != shown || perMmY != perMm) {
        return Fail("the result is not 0.250000 mm per step, 4.000 steps per mm on both axes");
    }
    if (angle != "90.00\xB0 (0.00 mm auf 100 mm)") {
        return Fail("the angle between the axes is not 90.00 degrees");
    }
    if (exitCode != 0) {
        return Fail("the exit code is not 0");
    }
    return 0;
}
