#include "app/main_window.h"

#include <cmath>
#include <cstring>

#include "app/app_state.h"
#include "app/settings_file.h"
#include "app/square_drive.h"
#include "gui/event_wait.h"
#include "gui/gadgets.h"
#include "gui/message_requester.h"
#include "gui/numbered_windows.h"
#include "runtime/libraries.h"
#include "runtime/string_workspace.h"

namespace {

constexpr intptr_t MAIN_WINDOW = 14;
constexpr intptr_t PORT_LIBRARY = 0;

// The gadgets the commands read and write.
constexpr intptr_t STATUS_LINE = 1;
constexpr intptr_t STEPS_FIELD = 5;
constexpr intptr_t DELAY_FIELD = 7;
constexpr intptr_t START_BUTTON = 8;
constexpr intptr_t STOP_BUTTON = 9;
constexpr intptr_t SIDE_X_FIELD = 11;
constexpr intptr_t MM_PER_STEP_X_FIELD = 12;
constexpr intptr_t PORT_FIELD = 15;
constexpr intptr_t CALCULATE_BUTTON = 16;
constexpr intptr_t STEPS_PER_MM_X_FIELD = 18;
constexpr intptr_t SIDE_Y_FIELD = 19;
constexpr intptr_t MM_PER_STEP_Y_FIELD = 20;
constexpr intptr_t STEPS_PER_MM_Y_FIELD = 21;
constexpr intptr_t DIAGONAL_FROM_START_FIELD = 23;
constexpr intptr_t OTHER_DIAGONAL_FIELD = 24;
constexpr intptr_t ANGLE_FIELD = 26;

const char* const ERROR_TITLE = "Fehler";
const char* const TEXT_NO_LIBRARY = "Konnte 'inpout32.dll' nicht laden...";
const char* const TEXT_NO_WINDOW = "Konnte das Hauptfenster nicht \xF6"
                                   "ffnen...";
const char* const TEXT_CHECK_FAILED = "Trage eine g\xFCltige LPT-Adresse, eine g\xFCltige "
                                      "Schrittanzahl und ein g\xFCltiges Delay ein!";
const char* const TEXT_READY = "Setze den Stift mittig auf ein Blatt Papier...";
const char* const TEXT_STOPPED = "'Stop' wurde bet\xE4tigt, Taktausgabe wurde zwangsbeendet!";
const char* const TEXT_DONE =
    "Das Quadrat wurde erfolgreich gemalt, trage nun die Seitenl\xE4nge ein!";
const char* const TEXT_INVALID = "ung\xFCltig";
// Gadget 1 shows it while no square is drawn.
const char* const TEXT_NOTICE = "Kalibrix V1 \x96 Schrittweiten-Kalibrierung f\xFCr Fr\xE4sen";
const char* const TEXT_DRIVER_CLOSED =
    "Der Treiber von 'inpout32.dll' ist nicht geladen, darum erreicht Kalibrix den Port nicht. "
    "Starte Kalibrix einmal mit Rechtsklick, 'Als Administrator ausf\xFChren'; unter Windows 11 "
    "kann die Speicher-Integrit\xE4t (Kernisolierung) den Treiber sperren.";
// The address in decimal and as the Device Manager shows it, the byte written and the byte read.
const char* const TEXT_NO_PORT =
    "An Adresse %u (hexadezimal %04X) antwortet kein Parallelport: geschrieben %u, gelesen %u. "
    "Pr\xFC"
    "fe die Adresse im Ger\xE4te-Manager: \"Anschl\xFCsse (COM und LPT)\", Eigenschaften des "
    "Druckeranschlusses, Karte \"Ressourcen\". Schaltet dein Port die Pins, gibt aber nichts "
    "zur\xFC"
    "ck, setze PortPruefen=0 in kalibrix.ini.";
const char* const TEXT_SETTINGS_PATH_TOO_LONG =
    "Der Pfad zu kalibrix.ini neben kalibrix.exe ist zu lang; lege Kalibrix in einen Ordner "
    "mit k\xFCrzerem Pfad.";

using GadgetCreator = intptr_t (*)(intptr_t number, int32_t x, int32_t y, int32_t width,
                                   int32_t height, const char* text, int32_t flags);

struct GadgetLayout {
    intptr_t number;
    GadgetCreator create;
    int32_t x, y, width, height;
    const char* text;
    int32_t flags;
};

// In creation order, which is also the order of the Tab cycle. Below the buttons a two-column
// form: labels on the left, the X column at 104 and the Y column at 182.
const GadgetLayout MAIN_GADGETS[] = {
    {STATUS_LINE, CreateTextGadget, 0, 360, 262, 30, TEXT_NOTICE, SS_CENTER},
    {2, CreateTextGadget, 10, 0, 250, 70,
     "Ermittele mit diesem Programm die Weite eines Schrittes deiner Fr\xE4se! Gib eine "
     "Schrittanzahl an, das Programm zeichnet ein Quadrat mit der angegebenen Schrittzahl und "
     "rechnet dir die Schrittweite eines Schrittes aus!",
     0},
    {3, CreateTextGadget, 10, 100, 100, 20, "Anzahl der Schritte:", 0},
    {4, CreateTextGadget, 10, 70, 100, 30, "Deine dezimale LPT-Adresse:", 0},
    {PORT_FIELD, CreateStringGadget, 110, 75, 140, 20, "888", ES_NUMBER},
    {STEPS_FIELD, CreateStringGadget, 110, 100, 140, 20, "100", ES_NUMBER},
    {6, CreateTextGadget, 10, 120, 90, 20, "Wartezeit in ms:", 0},
    // Not digits only: the delay takes a decimal point or comma.
    {DELAY_FIELD, CreateStringGadget, 110, 120, 140, 20, "5", 0},
    {START_BUTTON, CreateButtonGadget, 10, 150, 240, 20, "Mal mir ein Quadrat!", 0},
    {STOP_BUTTON, CreateButtonGadget, 10, 170, 240, 20, "STOP!", 0},
    {27, CreateTextGadget, 104, 195, 74, 15, "X", SS_CENTER},
    {28, CreateTextGadget, 182, 195, 74, 15, "Y", SS_CENTER},
    {10, CreateTextGadget, 10, 210, 94, 20, "Seitenl\xE4nge in mm:", 0},
    {SIDE_X_FIELD, CreateStringGadget, 104, 210, 74, 20, "", 0},
    {SIDE_Y_FIELD, CreateStringGadget, 182, 210, 74, 20, "", 0},
    {MM_PER_STEP_X_FIELD, CreateStringGadget, 104, 235, 74, 20, "", ES_READONLY},
    {MM_PER_STEP_Y_FIELD, CreateStringGadget, 182, 235, 74, 20, "", ES_READONLY},
    // Read-only, so that the user can copy the figures into the machine's controller.
    {17, CreateTextGadget, 10, 260, 94, 20, "Schritte je mm:", 0},
    {STEPS_PER_MM_X_FIELD, CreateStringGadget, 104, 260, 74, 20, "", ES_READONLY},
    {STEPS_PER_MM_Y_FIELD, CreateStringGadget, 182, 260, 74, 20, "", ES_READONLY},
    {22, CreateTextGadget, 10, 285, 94, 20, "Diagonalen in mm:", 0},
    {DIAGONAL_FROM_START_FIELD, CreateStringGadget, 104, 285, 74, 20, "", 0},
    {OTHER_DIAGONAL_FIELD, CreateStringGadget, 182, 285, 74, 20, "", 0},
    {25, CreateTextGadget, 10, 310, 94, 20, "Winkel X zu Y:", 0},
    {ANGLE_FIELD, CreateStringGadget, 104, 310, 152, 20, "", ES_READONLY},
    {CALCULATE_BUTTON, CreateButtonGadget, 10, 335, 240, 20, "Berechnen!", 0},
    {13, CreateTextGadget, 10, 235, 94, 20, "Schrittweite in mm:", 0},
};

// The gadget's text as a number (the temporary form of the caller protocol). A gadget that
// does not exist reads as an empty text, and `empty`, where asked for, tells an empty text from
// one that reads as 0. With `decimalComma` the first comma counts as the decimal point, as a
// German user types it ("12,5" is 12.5).
float ReadGadgetFloat(intptr_t gadget, bool decimalComma = false, bool* empty = nullptr) {
    StringWorkspace* workspace = Workspace();
    const int32_t saved = workspace->position;
    float value = 0.0f;
    const int32_t end = ReadGadgetText(gadget, saved);
    if (end > saved) {
        workspace->position += 1;
        char* text = workspace->buffer + saved;
        char* comma = decimalComma ? std::strchr(text, ',') : nullptr;
        if (comma != nullptr) {
            *comma = '.';
        }
        value = ParseFloat(text);
    }
    if (empty != nullptr) {
        *empty = end <= saved;
    }
    workspace->position = saved;
    return value;
}

void WriteGadgetFloat(intptr_t gadget, float value) {
    StringWorkspace* workspace = Workspace();
    const int32_t saved = workspace->position;
    FormatFloat(value, saved);
    workspace->position += 1;
    WriteGadgetText(gadget, workspace->buffer + saved);
    workspace->position = saved;
}

// A whole number as the program has always read the fields; digits past 64 bits would wrap into
// range (2^64 + 888 reads as port 888), and a negative number is none.
bool ReadWholeNumber(const char* text, uint64_t* value) {
    int64_t number = 0;
    if (!ParseIntegerFits(text, &number) || number < 0) {
        return false;
    }
    *value = static_cast<uint64_t>(number);
    return true;
}

// Milliseconds with a point or a comma ("0,1"), to the microsecond.
bool ReadMicroseconds(const char* text, uint64_t* value) {
    return ParseDecimal(text, 3, value);
}

// The start command's inputs in the order it reads and checks them, each with its range: the
// drive takes the step count as a signed 32-bit number, the delay in microseconds, and "Out32"
// takes a 16-bit port.
struct StartInput {
    intptr_t gadget;
    bool (*read)(const char* text, uint64_t* value);
    uint64_t lowest;
    uint64_t highest;
};
enum StartInputIndex { STEPS_INPUT, DELAY_INPUT, PORT_INPUT, START_INPUT_COUNT };
const StartInput START_INPUTS[START_INPUT_COUNT] = {
    {STEPS_FIELD, ReadWholeNumber, 1, INT32_MAX},
    {DELAY_FIELD, ReadMicroseconds, DELAY_MIN, DELAY_MAX},
    {PORT_FIELD, ReadWholeNumber, 1, PORT_ADDRESS_MAX},
};

// Reads the start command's texts one after another into the workspace and checks them; false
// when one cannot be read or is out of range. The workspace is left as it was.
bool ReadAndCheckStartInputs(uint64_t (&values)[START_INPUT_COUNT]) {
    StringWorkspace* workspace = Workspace();
    const int32_t saved = workspace->position;
    int32_t starts[START_INPUT_COUNT];
    bool valid = true;
    for (size_t i = 0; i < START_INPUT_COUNT && valid; ++i) {
        starts[i] = workspace->position;
        const int32_t end = ReadGadgetText(START_INPUTS[i].gadget, starts[i]);
        valid = end != 0;
        workspace->position = end + 1;
    }
    for (size_t i = 0; i < START_INPUT_COUNT && valid; ++i) {
        const StartInput& input = START_INPUTS[i];
        valid = input.read(workspace->buffer + starts[i], &values[i]) &&
                values[i] >= input.lowest && values[i] <= input.highest;
    }
    workspace->position = saved;
    return valid;
}

// kalibrix.ini beside the program, read anew at every start so that the user can change the
// file while the program is open. A refused file says in "Fehler" which key is wrong.
bool ReadStartSettings(DriveSettings* settings) {
    char path[MAX_PATH];
    if (!SettingsFilePath(path, sizeof path)) {
        ShowMessage(ERROR_TITLE, TEXT_SETTINGS_PATH_TOO_LONG, 0);
        return false;
    }
    SettingsRefusal refusal;
    if (ReadSettingsFile(path, settings, &refusal)) {
        return true;
    }
    // The path, the longest key twice and the sentence.
    char text[MAX_PATH + 128];
    SystemSprintf(text, SETTINGS_REFUSED_SENTENCE, path, refusal.key, refusal.mustBe,
                  refusal.otherKey);
    ShowMessage(ERROR_TITLE, text, 0);
    return false;
}

using IsInpOutDriverOpenFunction = BOOL(WINAPI*)();

// The current versions of the port library reach the port through a kernel driver, which needs
// administrator rights once and which Windows 11 may refuse; without it "Out32" silently does
// nothing. Older versions have neither the driver nor the function, and pass.
bool PortDriverOpen() {
    const auto isOpen =
        LibraryGetTypedFunction<IsInpOutDriverOpenFunction>(PORT_LIBRARY, "IsInpOutDriverOpen");
    return isOpen == nullptr || isOpen() != FALSE;
}

// The notice again, once no square is drawn.
void EndProgressLine() {
    WriteGadgetText(STATUS_LINE, TEXT_NOTICE);
}

void StopDrive() {
    StopSquareDrive();
    EndProgressLine();
}

void StartCommand() {
    uint64_t values[START_INPUT_COUNT];
    if (!ReadAndCheckStartInputs(values)) {
        // A running drive keeps its order.
        ShowMessage(ERROR_TITLE, TEXT_CHECK_FAILED, 0);
        return;
    }
    // The drive gets exactly what is checked here, and reads neither a field nor the file.
    DriveOrder order = {static_cast<uint32_t>(values[PORT_INPUT]),
                        static_cast<int32_t>(values[STEPS_INPUT]),
                        values[DELAY_INPUT],
                        {},
                        0};
    if (!ReadStartSettings(&order.settings)) {
        return;
    }
    if (!PortDriverOpen()) {
        ShowMessage(ERROR_TITLE, TEXT_DRIVER_CLOSED, 0);
        return;
    }
    // One drive at a time: the running one stops first, as STOP stops it, so that the machine
    // stands still while the user places the pen and no write of it mixes with the new square.
    StopDrive();
    // The user places the pen now and may back out: Cancel, Esc and the close box start nothing
    // (a box with OK alone cannot tell them from OK). The drive stopped above stays stopped.
    if (ShowMessage("Fertig?", TEXT_READY, MB_OKCANCEL) != IDOK) {
        return;
    }
    StartSquareDrive(order);
}

void StopCommand() {
    StopDrive();
    ShowMessage("Stop...", TEXT_STOPPED, 0);
}

// "Seite 2 von 4 \xB7 37 % \xB7 noch 3 min" in the notice's place.
void ShowProgress(const DriveReport& report) {
    char line[96];
    int length = report.run < FIRST_SIDE_RUN
                     ? SystemSprintf(line, "Vorlauf vor Seite 1 \xB7 %u %%", report.percent)
                     : SystemSprintf(line, "Seite %u von 4 \xB7 %u %%",
                                     report.run - FIRST_SIDE_RUN + 1, report.percent);
    const uint32_t seconds = report.secondsLeft;
    if (seconds >= DRIVE_SECONDS_LEFT_MAX) {
        SystemSprintf(line + length, " \xB7 noch \xFC"
                                     "ber 1000 h");
    } else {
        // Rounded up: seconds for the last two minutes, minutes for the last two hours.
        uint32_t amount = seconds;
        const char* unit = "s";
        if (seconds >= 2 * 3600) {
            amount = (seconds + 3599) / 3600;
            unit = "h";
        } else if (seconds >= 2 * 60) {
            amount = (seconds + 59) / 60;
            unit = "min";
        }
        SystemSprintf(line + length, " \xB7 noch %u %s", amount, unit);
    }
    WriteGadgetText(STATUS_LINE, line);
}

// A drive's report, taken here on the window's thread like STOP and START: one that a stop or a
// start has overtaken, while on its way or while a box was open, changes nothing, so "Fertig!"
// never follows "Stop...", nor speaks of a square that a new one replaced, and the progress line
// never comes back after them.
void TakeReport(intptr_t value, intptr_t detail) {
    DriveReport report;
    if (!TakeDriveReport(value, detail, &report)) {
        return;
    }
    if (report.kind == DRIVE_PROGRESS) {
        ShowProgress(report);
        return;
    }
    EndProgressLine();
    if (report.kind == DRIVE_DONE) {
        ShowMessage("Fertig!", TEXT_DONE, 0);
    } else {
        char text[512];
        SystemSprintf(text, TEXT_NO_PORT, report.port, report.port, report.written, report.read);
        ShowMessage(ERROR_TITLE, text, 0);
    }
}

// A number above 0 that a calculation can take: not 0, not negative, not text, not past the
// float range (which a pasted text can hold and which would show "inf").
bool IsAbove0(float value) {
    return value > 0.0f && std::isfinite(value);
}

// One column of the side row and the two result rows below it.
struct AxisColumn {
    intptr_t sideField;
    intptr_t mmPerStepField;
    intptr_t stepsPerMmField;
    bool mayStayEmpty; // a user who measures one side only leaves it empty
};
const AxisColumn X_COLUMN = {SIDE_X_FIELD, MM_PER_STEP_X_FIELD, STEPS_PER_MM_X_FIELD, false};
const AxisColumn Y_COLUMN = {SIDE_Y_FIELD, MM_PER_STEP_Y_FIELD, STEPS_PER_MM_Y_FIELD, true};

struct AxisResult {
    float sideLength; // as read; 0 for an empty field
    float mmPerStep;  // 0 when none is shown
};

AxisResult CalculateAxis(const AxisColumn& column, float stepCount) {
    bool empty = false;
    AxisResult result = {ReadGadgetFloat(column.sideField, true, &empty), 0.0f};
    if (empty && column.mayStayEmpty) {
        // No figures of an earlier side stay beside a fresh one.
        WriteGadgetText(column.mmPerStepField, "");
        WriteGadgetText(column.stepsPerMmField, "");
    } else if (IsAbove0(result.sideLength) && IsAbove0(stepCount)) {
        result.mmPerStep = result.sideLength / stepCount;
        WriteGadgetFloat(column.mmPerStepField, result.mmPerStep);
        // What the machine's controller asks for, from the step count as entered rather than
        // from the rounded travel per step.
        char text[128]; // the widest, 2^128 steps on the smallest float: 84 digits and 3 decimals
        SystemSprintf(text, "%.3f",
                      static_cast<double>(stepCount) / static_cast<double>(result.sideLength));
        WriteGadgetText(column.stepsPerMmField, text);
    } else {
        WriteGadgetText(column.mmPerStepField, TEXT_INVALID);
        WriteGadgetText(column.stepsPerMmField, TEXT_INVALID);
    }
    return result;
}

// The angle between the +X and the +Y travel in degrees and how far Y leans over 100 mm, from
// the drawn parallelogram's sides a, b and its diagonals, d1 from the start corner:
// d1^2 - d2^2 = 4ab cos. False for lengths that no parallelogram has.
bool FormatAxisAngle(float sideX, float sideY, float fromStart, float other, char (&text)[64]) {
    if (!IsAbove0(sideX) || !IsAbove0(sideY) || !IsAbove0(fromStart) || !IsAbove0(other)) {
        return false;
    }
    // Squares of floats are exact in double, and no product of them overflows.
    const double fourAb = 4.0 * sideX * sideY;
    const double fourAbCos =
        static_cast<double>(fromStart) * fromStart - static_cast<double>(other) * other;
    if (std::fabs(fourAbCos) >= fourAb) {
        return false;
    }
    // Strictly between 0 and 180 degrees here, where the tangent is never 0: |cot| = 1 / |tan|.
    const double angle = std::acos(fourAbCos / fourAb);
    SystemSprintf(text, "%.2f\xB0 (%.2f mm auf 100 mm)", angle * (180.0 / 3.14159265358979323846),
                  100.0 / std::fabs(std::tan(angle)));
    return true;
}

void CalculateAngle(float sideX, float sideY) {
    bool fromStartEmpty = false;
    bool otherEmpty = false;
    const float fromStart = ReadGadgetFloat(DIAGONAL_FROM_START_FIELD, true, &fromStartEmpty);
    const float other = ReadGadgetFloat(OTHER_DIAGONAL_FIELD, true, &otherEmpty);
    char text[64];
    if (fromStartEmpty && otherEmpty) {
        WriteGadgetText(ANGLE_FIELD, "");
    } else if (FormatAxisAngle(sideX, sideY, fromStart, other, text)) {
        WriteGadgetText(ANGLE_FIELD, text);
    } else {
        WriteGadgetText(ANGLE_FIELD, TEXT_INVALID);
    }
}

void CalculateCommand() {
    App.stepCount = ReadGadgetFloat(STEPS_FIELD);
    const AxisResult x = CalculateAxis(X_COLUMN, App.stepCount);
    const AxisResult y = CalculateAxis(Y_COLUMN, App.stepCount);
    App.sideLength = x.sideLength;
    App.mmPerStep = x.mmPerStep;
    CalculateAngle(x.sideLength, y.sideLength);
}

struct Command {
    intptr_t gadget;
    void (*run)();
};

const Command COMMANDS[] = {
    {START_BUTTON, StartCommand},
    {STOP_BUTTON, StopCommand},
    {CALCULATE_BUTTON, CalculateCommand},
};

void RunGadgetCommand(intptr_t gadget) {
    for (const Command& command : COMMANDS) {
        if (command.gadget == gadget && command.run != nullptr) {
            command.run();
            return;
        }
    }
}

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD directoryFlags);

// The port library must not be picked up from the current directory, where anyone may have put
// a file of that name. Wine 8 ignores SetDllDirectoryA(""), so the search order is narrowed with
// SetDefaultDllDirectories where the system has it: the program's folder and the system folders
// still serve.
void KeepCurrentDirectoryOutOfDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC found =
        kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found));
    if (setDefaultDllDirectories != nullptr &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
        return;
    }
    SetDllDirectoryA("");
}

// A library that loads but has no "Out32" would let every square "succeed" without a single
// write, so it counts as not loadable.
bool OpenPortLibrary() {
    KeepCurrentDirectoryOutOfDllSearch();
    if (LibraryOpen(PORT_LIBRARY, "inpout32.dll") == 0) {
        return false;
    }
    if (LibraryGetFunction(PORT_LIBRARY, "Out32") == nullptr) {
        LibraryClose(PORT_LIBRARY);
        return false;
    }
    return true;
}

} // namespace

HWND OpenMainWindow() {
    const intptr_t window =
        OpenNumberedWindow(MAIN_WINDOW, 429, 123, 262, 390, "Kalibrix", WS_CAPTION | WS_SYSMENU);
    if (window == 0) {
        return nullptr;
    }
    for (const GadgetLayout& gadget : MAIN_GADGETS) {
        if (gadget.create != nullptr) {
            gadget.create(gadget.number, gadget.x, gadget.y, gadget.width, gadget.height,
                          gadget.text, gadget.flags);
        }
    }
    return reinterpret_cast<HWND>(window);
}

void MainProcedure() {
    if (!OpenPortLibrary()) {
        ShowMessage(ERROR_TITLE, TEXT_NO_LIBRARY, 0);
        return;
    }
    // Without a window no event would ever come.
    App.mainWindow = OpenMainWindow();
    if (App.mainWindow == nullptr) {
        ShowMessage(ERROR_TITLE, TEXT_NO_WINDOW, 0);
        return;
    }
    do {
        App.lastEvent = WaitEvent();
        if (App.lastEvent == EVENT_GADGET) {
            RunGadgetCommand(CurrentEventGadget());
        } else if (App.lastEvent == EVENT_APPLICATION) {
            TakeReport(CurrentEventGadget(), CurrentEventDetail());
        }
    } while (App.lastEvent != EVENT_CLOSE_WINDOW);
}
