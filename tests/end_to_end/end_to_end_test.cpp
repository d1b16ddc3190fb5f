// The whole program from the outside: the real kalibrix.exe runs in its own process with a port
// library beside it and is used as a user would use it. Clicks are posted, message boxes are
// found by their title and answered, and the stand-in library's trace shows every port write.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>
#include "tests/end_to_end/driver.h"
#include "tests/support/expected_square.h"
#include "tests/support/main_window_catalogue.h"
#include "tests/support/port_trace.h"

using namespace testsupport;

namespace {

constexpr DWORD START_TIMEOUT_MS = 30000;
constexpr DWORD BOX_TIMEOUT_MS = 10000;
constexpr DWORD SQUARE_TIMEOUT_MS = 60000;
constexpr DWORD EXIT_TIMEOUT_MS = 10000;
// Bits 1 and 3 of the port byte: the X and Y step lines.
constexpr unsigned STEP_LINES = 0x0A;

std::string BuildFolder() {
    return driver::JoinPath(driver::OwnFolder(), "..");
}
std::string ProgramFile() {
    return driver::JoinPath(driver::OwnFolder(), "kalibrix.exe");
}
std::string StandInLibrary() {
    return driver::JoinPath(BuildFolder(), "standin\\inpout32.dll");
}
std::string LibraryWithoutOut32() {
    return driver::JoinPath(BuildFolder(), "standin-no-out32\\inpout32.dll");
}
// The stand-in as the real library is without its driver, and at an address where no port
// answers.
std::string LibraryWithoutDriver() {
    return driver::JoinPath(BuildFolder(), "standin-driver-closed\\inpout32.dll");
}
std::string LibraryWithoutPort() {
    return driver::JoinPath(BuildFolder(), "standin-no-port\\inpout32.dll");
}

std::string TestFolder(const std::string& suffix = std::string()) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    return driver::JoinPath(current, std::string("e2e\\") + test->name() + suffix);
}

// A message that another process posts to the program's windows.
struct OutsidePost {
    HWND target;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Posts each message in order; false when one of them could not be posted.
bool PostEach(std::initializer_list<OutsidePost> posts) {
    bool all = true;
    for (const OutsidePost& post : posts) {
        all = PostMessageA(post.target, post.message, post.wParam, post.lParam) && all;
    }
    return all;
}

class EndToEnd : public ::testing::Test {
  protected:
    // Starts the program beside the given library (none when empty) and kalibrix.ini (none
    // when empty), and waits for its window.
    void Launch(const std::string& library = StandInLibrary(),
                const std::string& settings = std::string()) {
        ASSERT_TRUE(program_.Prepare(TestFolder(), ProgramFile(), library, settings))
            << "cannot prepare " << TestFolder();
        ASSERT_TRUE(program_.Start());
        ASSERT_NO_FATAL_FAILURE(WaitForWindow());
    }

    // Waits for the main window, and counts the threads of the program while it waits for input.
    void WaitForWindow() {
        window_ = program_.WaitForWindow(START_TIMEOUT_MS);
        ASSERT_NE(nullptr, window_) << "the main window did not open";
        idleThreads_ = driver::ThreadCount(program_.ProcessId());
        ASSERT_NE(0u, idleThreads_) << "the system does not count threads";
    }

    HWND Gadget(int number) { return driver::Gadget(window_, number); }

    // Sets the three inputs of the start command.
    void SetInputs(const char* port, const char* steps, const char* delay) {
        ASSERT_TRUE(driver::SetText(Gadget(PORT), port));
        ASSERT_TRUE(driver::SetText(Gadget(STEPS), steps));
        ASSERT_TRUE(driver::SetText(Gadget(DELAY), delay));
    }

    // Expects the box with this title and text, and confirms it.
    void Confirm(const char* title, const char* text, DWORD timeoutMs = BOX_TIMEOUT_MS) {
        HWND box = program_.WaitForMessageBox(title, timeoutMs);
        ASSERT_NE(nullptr, box) << "no message \"" << title << "\"";
        EXPECT_EQ(text, driver::MessageBoxText(box)) << "in the message \"" << title << "\"";
        ASSERT_TRUE(driver::AnswerMessageBox(box));
        const DWORD start = GetTickCount();
        while (IsWindow(box) && GetTickCount() - start < BOX_TIMEOUT_MS) {
            Sleep(10);
        }
        ASSERT_FALSE(IsWindow(box)) << "the message \"" << title << "\" did not close";
    }

    // Presses the start button and confirms "Fertig?".
    void StartSquare() {
        driver::Click(Gadget(START));
        Confirm("Fertig?", TEXT_READY);
    }

    size_t Writes() { return ReadTrace(program_.TracePath()).size(); }

    // The titles of the program's boxes that are up, read without a message: the thread of a
    // box may not answer.
    std::string BoxesUp() {
        std::string titles;
        for (HWND box : program_.MessageBoxes()) {
            wchar_t text[64] = L"";
            InternalGetWindowText(box, text, 64);
            char narrow[64] = "";
            WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
            titles += std::string(" \"") + narrow + "\"";
        }
        return titles.empty() ? " none" : titles;
    }

    // A character typed into a free field behind what the program was sent: once the field shows
    // it, the window's thread has dispatched all that came before, also inside the loop of a box
    // that is up. With no box up, the program has handled it all.
    void WaitForTypedMarker() {
        driver::Type(Gadget(SIDE_Y), "1");
        ASSERT_EQ("1", driver::WaitForText(Gadget(SIDE_Y), "1", BOX_TIMEOUT_MS))
            << "the typed marker was lost; boxes up:" << BoxesUp();
        ASSERT_TRUE(driver::SetText(Gadget(SIDE_Y), ""));
    }

    // A harmless click queued behind what the program was sent: once its result shows, the
    // program has handled all that came before. A click of the same button still pending must
    // not pass for it, so the typed marker goes first.
    void WaitForMarker() {
        ASSERT_NO_FATAL_FAILURE(WaitForTypedMarker());
        ASSERT_TRUE(driver::SetText(Gadget(MM_PER_STEP_X), ""));
        driver::Click(Gadget(CALCULATE));
        ASSERT_NE("", driver::WaitForAnyText(Gadget(MM_PER_STEP_X), BOX_TIMEOUT_MS))
            << "the marker was lost; boxes up:" << BoxesUp();
    }

    // No drive of the program runs: its threads are as many as while it waited idle. What the
    // drive wrote is all in the trace then, and what it reported is in the window's queue.
    void WaitUntilNoDriveRuns() {
        ASSERT_GE(idleThreads_,
                  driver::WaitForThreadCount(program_.ProcessId(), idleThreads_, SQUARE_TIMEOUT_MS))
            << "the drive's thread did not end";
    }

    // Nothing more is to come: the program has handled all it was sent (a marker), no drive runs
    // (one started by mistake has ended too), and what that drive reported is handled (a second
    // marker). What the program wrote and shows is final then.
    void WaitUntilSettled() {
        ASSERT_NO_FATAL_FAILURE(WaitForMarker());
        ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns());
        ASSERT_NO_FATAL_FAILURE(WaitForMarker());
    }

    void CloseAndExpectExitCodeZero() {
        driver::Close(window_);
        EXPECT_EQ(0u, program_.WaitForExit(EXIT_TIMEOUT_MS));
    }

    driver::Program program_;
    HWND window_ = nullptr;
    size_t idleThreads_ = 0;
};

// The size of a text at the default GUI font, which every gadget uses; with DT_WORDBREAK broken
// at word ends within `width`, as a static control breaks it.
SIZE TextSize(const std::string& text, int width, UINT format) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ kept = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT rect = {0, 0, width, 0};
    DrawTextA(dc, text.c_str(), -1, &rect, DT_CALCRECT | format);
    SelectObject(dc, kept);
    ReleaseDC(nullptr, dc);
    return {rect.right, rect.bottom};
}

// Whether a field shows its whole text, within its client area less its margins.
bool ShowsWholeText(HWND field) {
    RECT client;
    GetClientRect(field, &client);
    const DWORD margins = static_cast<DWORD>(SendMessageA(field, EM_GETMARGINS, 0, 0));
    const int room = client.right - LOWORD(margins) - HIWORD(margins);
    return TextSize(driver::WindowText(field), room, DT_SINGLELINE).cx <= room;
}

TEST_F(EndToEnd, MainWindowAndItsTwentySevenGadgets) {
    ASSERT_NO_FATAL_FAILURE(Launch());

    EXPECT_EQ(MAIN_WINDOW_CLASS, driver::ClassName(window_));
    EXPECT_EQ(MAIN_WINDOW_TITLE, driver::WindowText(window_));
    RECT outer, inner;
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &inner);
    EXPECT_EQ(MAIN_WINDOW_PLACE.x, outer.left);
    EXPECT_EQ(MAIN_WINDOW_PLACE.y, outer.top);
    EXPECT_EQ(MAIN_WINDOW_INNER.cx, inner.right);
    EXPECT_EQ(MAIN_WINDOW_INNER.cy, inner.bottom);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE));
    EXPECT_EQ(static_cast<DWORD>(WS_CAPTION | WS_SYSMENU), style & (WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(0u, style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

    std::vector<int> order;
    for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        order.push_back(GetWindowLongA(child, GWL_ID));
    }
    std::vector<int> expectedOrder;
    for (const GadgetRow& row : MAIN_GADGETS) {
        expectedOrder.push_back(row.number);
    }
    EXPECT_EQ(expectedOrder, order) << "the gadgets in their creation order";

    for (const GadgetRow& row : MAIN_GADGETS) {
        SCOPED_TRACE("gadget " + std::to_string(row.number));
        HWND gadget = Gadget(row.number);
        ASSERT_NE(nullptr, gadget);
        EXPECT_EQ(row.className, driver::ClassName(gadget));
        EXPECT_EQ(row.text, driver::WindowText(gadget));
        RECT rect;
        GetWindowRect(gadget, &rect);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(row.x, rect.left);
        EXPECT_EQ(row.y, rect.top);
        EXPECT_EQ(row.width, rect.right - rect.left);
        EXPECT_EQ(row.height, rect.bottom - rect.top);
        const DWORD gadgetStyle = static_cast<DWORD>(GetWindowLongA(gadget, GWL_STYLE));
        EXPECT_EQ(row.style, gadgetStyle & row.style) << std::hex << gadgetStyle;
        EXPECT_EQ(0u, gadgetStyle & row.absent) << std::hex << gadgetStyle;
        const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(gadget, GWL_EXSTYLE));
        EXPECT_EQ(row.exStyle, exStyle & WS_EX_CLIENTEDGE) << std::hex << exStyle;

        // A tidy form: inside the inner area, over no other gadget, and a label whole.
        RECT within;
        EXPECT_TRUE(IntersectRect(&within, &rect, &inner) && EqualRect(&within, &rect));
        for (const GadgetRow& other : MAIN_GADGETS) {
            const RECT place = {other.x, other.y, other.x + other.width, other.y + other.height};
            RECT both;
            EXPECT_TRUE(&other == &row || !IntersectRect(&both, &rect, &place))
                << "over gadget " << other.number;
        }
        if (std::strcmp(row.className, "Static") == 0) {
            const SIZE text = TextSize(row.text, row.width, DT_WORDBREAK);
            EXPECT_LE(text.cx, row.width);
            EXPECT_LE(text.cy, row.height);
        }
    }
    CloseAndExpectExitCodeZero();
}

TEST_F(EndToEnd, StartWithTheDefaultsDrawsTheSquareOnPort888) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    driver::Click(Gadget(START));
    HWND ready = program_.WaitForMessageBox("Fertig?", BOX_TIMEOUT_MS);
    ASSERT_NE(nullptr, ready);
    EXPECT_EQ(TEXT_READY, driver::MessageBoxText(ready));
    ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns());
    EXPECT_EQ(0u, Writes()) << "nothing is written before the user confirms";
    // The port field changed after the start's check, by the user or another program, is not
    // what the drive writes to.
    ASSERT_TRUE(driver::SetText(Gadget(PORT), "632"));
    ASSERT_TRUE(driver::AnswerMessageBox(ready));

    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    const std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
    ASSERT_EQ(804u, trace.size());
    std::vector<unsigned> bytes;
    long long shortestGap = -1;
    for (size_t i = 0; i < trace.size(); ++i) {
        EXPECT_EQ(888u, trace[i].port) << "write " << i;
        bytes.push_back(trace[i].value);
        if (i > 0) {
            const long long gap = trace[i].microseconds - trace[i - 1].microseconds;
            shortestGap = shortestGap < 0 || gap < shortestGap ? gap : shortestGap;
        }
    }
    EXPECT_EQ(SquareBytes(100), bytes);
    // A step interval shorter than asked can stall a motor: none is below the 5 ms.
    EXPECT_GE(shortestGap, 5000);

    ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns());
    EXPECT_EQ(804u, Writes()) << "no write after the square";
    CloseAndExpectExitCodeZero();
}

TEST_F(EndToEnd, FailingChecksStartNothing) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    struct Case {
        const char* name;
        const char* port;
        const char* steps;
        const char* delay;
    };
    // WM_SETTEXT puts in what ES_NUMBER would refuse to typing, as pasting could.
    const Case cases[] = {
        {"step count 0", "888", "0", "5"},
        {"step count empty", "888", "", "5"},
        {"negative step count", "888", "-3", "5"},
        {"delay 0", "888", "100", "0"},
        {"delay empty", "888", "100", ""},
        {"port 0", "0", "100", "5"},
        {"port empty", "", "100", "5"},
        {"port reads as 0", "LPT1", "100", "5"},
        {"everything empty", "", "", ""},
        // Values the drive or the port library would cut to other ones.
        {"step count 2^31", "888", "2147483648", "5"},
        {"step count 2^32 - 1", "888", "4294967295", "5"},
        {"step count 2^32", "888", "4294967296", "5"},
        {"delay 2^32 - 1, an endless wait", "888", "100", "4294967295"},
        {"delay 2^32", "888", "100", "4294967296"},
        {"delay just past the largest", "888", "100", "4294967294,001"},
        // Below 0.02 ms, finer than a microsecond, or not a decimal number.
        {"delay 0,019", "888", "100", "0,019"},
        {"delay 0.01", "888", "100", "0.01"},
        {"delay 0,0205", "888", "100", "0,0205"},
        {"delay -0,5", "888", "100", "-0,5"},
        {"delay 1e-1", "888", "100", "1e-1"},
        {"delay 0,1,2", "888", "100", "0,1,2"},
        {"port 65536", "65536", "100", "5"},
        {"port 66424, which is 888 in 16 bits", "66424", "100", "5"},
        {"port 2^32 + 888", "4294968184", "100", "5"},
        // Digits past 64 bits, which the number reader wraps into range.
        {"port 2^64 + 888", "18446744073709552504", "100", "5"},
        {"step count 2^64 + 1", "888", "18446744073709551617", "5"},
        // Past the signed range below, which the number reader wraps to 888 as well.
        {"port -(2^64 - 888)", "-18446744073709550728", "100", "5"},
        {"port -$FFFFFFFFFFFFFC88", "-$FFFFFFFFFFFFFC88", "100", "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(SetInputs(c.port, c.steps, c.delay));
        driver::Click(Gadget(START));
        ASSERT_NO_FATAL_FAILURE(Confirm("Fehler", TEXT_CHECK_FAILED));
        ASSERT_NO_FATAL_FAILURE(WaitForMarker());
        EXPECT_EQ(nullptr, program_.FindMessageBox("Fertig?"));
    }
    // kalibrix.ini beside the program, with valid fields: the message names the file and the key.
    const char* const PRETRAVEL_MUST_BE = "Vorlauf eine ganze Zahl von 0 bis 1000000 sein.";
    const char* const START_DELAY_MUST_BE = "Startwartezeit eine Zahl von 0,020 bis 1000,000 sein.";
    const struct {
        const char* name;
        const char* settings;
        const char* mustBe; // what follows "In <file> muss "
    } refusedFiles[] = {
        {"pin 1", "[Anschluss]\r\nXTakt=1\r\n", "XTakt eine Pinnummer von 2 bis 9 sein."},
        {"pin 10", "[Anschluss]\r\nYRichtung=10\r\n", "YRichtung eine Pinnummer von 2 bis 9 sein."},
        {"a pin used twice", "[Anschluss]\r\nXTakt=2\r\nXRichtung=3\r\nYTakt=3\r\nYRichtung=5\r\n",
         "YTakt auf einem anderen Pin liegen als XRichtung."},
        // GetPrivateProfileIntA reads it as 0, a valid level.
        {"abc", "[Anschluss]\r\nTaktInvertiert=abc\r\n", "TaktInvertiert 0 oder 1 sein."},
        {"read-back 2", "[Anschluss]\r\nPortPruefen=2\r\n", "PortPruefen 0 oder 1 sein."},
        {"pre-travel text", "[Zeichnen]\r\nVorlauf=zehn\r\n", PRETRAVEL_MUST_BE},
        {"pre-travel negative", "[Zeichnen]\r\nVorlauf=-5\r\n", PRETRAVEL_MUST_BE},
        {"pre-travel too large", "[Zeichnen]\r\nVorlauf=1000001\r\n", PRETRAVEL_MUST_BE},
        {"ramp too large", "[Zeichnen]\r\nAnlauf=1000001\r\n",
         "Anlauf eine ganze Zahl von 0 bis 1000000 sein."},
        {"start delay below 0,02", "[Zeichnen]\r\nStartwartezeit=0,01\r\n", START_DELAY_MUST_BE},
        {"start delay above 1000", "[Zeichnen]\r\nStartwartezeit=1000,001\r\n",
         START_DELAY_MUST_BE},
        {"start delay in words", "[Zeichnen]\r\nStartwartezeit=f\xFCnf\r\n", START_DELAY_MUST_BE},
    };
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "100", "5"));
    for (const auto& file : refusedFiles) {
        SCOPED_TRACE(file.name);
        ASSERT_TRUE(program_.PlaceSettings(file.settings));
        driver::Click(Gadget(START));
        ASSERT_NO_FATAL_FAILURE(
            Confirm("Fehler", ("In " + program_.SettingsPath() + " muss " + file.mustBe).c_str()));
        ASSERT_NO_FATAL_FAILURE(WaitForMarker());
        EXPECT_EQ(nullptr, program_.FindMessageBox("Fertig?"));
    }
    ASSERT_TRUE(program_.PlaceSettings(""));
    ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns());
    EXPECT_EQ(0u, Writes());

    // The highest values pass: the drive sets the direction on port 65535 and waits 49 days.
    ASSERT_NO_FATAL_FAILURE(SetInputs("65535", "2147483647", "4294967294"));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_EQ(1u, driver::WaitForWrites(program_.TracePath(), 1, SQUARE_TIMEOUT_MS));
    // A port text longer than any fixed buffer reaches the next drive whole.
    ASSERT_NO_FATAL_FAILURE(SetInputs((std::string(1100, '0') + "888").c_str(), "1", "1"));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(65535u, trace.front().port);
    EXPECT_EQ(0u, trace.front().value);
    trace.erase(trace.begin());
    std::vector<unsigned> bytes;
    for (const PortWrite& write : trace) {
        EXPECT_EQ(888u, write.port);
        bytes.push_back(write.value);
    }
    EXPECT_EQ(SquareBytes(1), bytes);
    CloseAndExpectExitCodeZero();
}

TEST_F(EndToEnd, StopEndsTheDriveAtOnceAndANewStartWorks) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    // With no drive the stop still reports.
    driver::Click(Gadget(STOP));
    ASSERT_NO_FATAL_FAILURE(Confirm("Stop...", TEXT_STOPPED));

    // 324 waits of 10 ms: the drive is well under way when the stop comes.
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "40", "10"));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_GE(driver::WaitForWrites(program_.TracePath(), 20, SQUARE_TIMEOUT_MS), 20u);
    driver::Click(Gadget(STOP));
    HWND stopped = program_.WaitForMessageBox("Stop...", BOX_TIMEOUT_MS);
    ASSERT_NE(nullptr, stopped);
    EXPECT_EQ(TEXT_STOPPED, driver::MessageBoxText(stopped));
    // The box comes after the stop has taken effect: nothing is written while it is up, until
    // the drive's thread has ended.
    const size_t atStop = Writes();
    ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns());
    EXPECT_EQ(atStop, Writes()) << "a write after the stop";
    ASSERT_LT(atStop, 324u);
    EXPECT_EQ(0u, ReadTrace(program_.TracePath()).back().value & STEP_LINES)
        << "the stop left a step line high";
    ASSERT_TRUE(driver::AnswerMessageBox(stopped));
    ASSERT_NO_FATAL_FAILURE(WaitUntilSettled());
    EXPECT_EQ(nullptr, program_.FindMessageBox("Fertig!")) << "a stopped drive reports nothing";
    EXPECT_EQ(atStop, Writes());

    // A new start works at once and draws a whole square of its own.
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "2", "1"));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    const std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
    ASSERT_EQ(atStop + 20, trace.size());
    std::vector<unsigned> bytes;
    for (size_t i = atStop; i < trace.size(); ++i) {
        bytes.push_back(trace[i].value);
    }
    EXPECT_EQ(SquareBytes(2), bytes);

    // A second stop after the drive has ended still reports.
    driver::Click(Gadget(STOP));
    ASSERT_NO_FATAL_FAILURE(Confirm("Stop...", TEXT_STOPPED));
    CloseAndExpectExitCodeZero();
}

// "Fertig?" asks the user to place the pen, and the user may back out of it: that starts
// nothing, and the drive the start stopped before asking stays stopped.
TEST_F(EndToEnd, RefusingFertigStartsNothing) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    const struct {
        const char* name;
        void (*refuse)(HWND box);
    } rows[] = {{"Esc", driver::PressEscape}, {"close box", driver::Close}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(SetInputs("888", "100", "20"));
        ASSERT_NO_FATAL_FAILURE(StartSquare());
        const size_t running = Writes() + 3;
        ASSERT_GE(driver::WaitForWrites(program_.TracePath(), running, SQUARE_TIMEOUT_MS), running);
        // A square wrongly started by the refusal would write at once and soon say "Fertig!".
        ASSERT_NO_FATAL_FAILURE(SetInputs("888", "1", "1"));
        driver::Click(Gadget(START));
        HWND ready = program_.WaitForMessageBox("Fertig?", BOX_TIMEOUT_MS);
        ASSERT_NE(nullptr, ready);
        const size_t asked = Writes();
        row.refuse(ready);
        const DWORD start = GetTickCount();
        while (IsWindow(ready) && GetTickCount() - start < BOX_TIMEOUT_MS) {
            Sleep(10);
        }
        ASSERT_FALSE(IsWindow(ready)) << "the box did not close";
        ASSERT_NO_FATAL_FAILURE(WaitUntilSettled());
        EXPECT_EQ(asked, Writes()) << "the machine moved after the user backed out";
        EXPECT_EQ(nullptr, program_.FindMessageBox("Fertig!"));
    }
    CloseAndExpectExitCodeZero();
}

// Every square starts a thread and shows two boxes; none of that may leave handles behind.
TEST_F(EndToEnd, RepeatedSquaresLeaveNoHandlesBehind) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "1", "1"));
    size_t handlesBefore = 0;
    constexpr int ROUNDS = 8;
    for (int round = 1; round <= ROUNDS; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_NO_FATAL_FAILURE(StartSquare());
        ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
        ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns()); // the drive's thread ends after its box
        if (round == 2) {
            handlesBefore = driver::HandleCount(program_.ProcessId());
        }
    }
    const size_t handlesAfter = driver::HandleCount(program_.ProcessId());
    ASSERT_NE(0u, handlesBefore) << "the system does not count handles";
    // One handle per square would show as six more; the registration of the last drive is
    // dropped only by the next start, so both counts hold one.
    EXPECT_LE(handlesAfter, handlesBefore + 1);
    EXPECT_EQ(ROUNDS * 12u, Writes());
    CloseAndExpectExitCodeZero();
}

TEST_F(EndToEnd, CalculateShowsEachAxisAndTheAngleBetweenThem) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    struct Case {
        const char* side; // X
        const char* steps;
        const char* shown;      // millimetres per step
        const char* stepsPerMm; // what the controller asks for, from the step count itself
        // Empty in a row about X alone, so that every such row also shows that a Y side or
        // diagonals left empty show nothing.
        const char* sideY = "";
        const char* shownY = "";
        const char* stepsPerMmY = "";
        const char* diagonalFromStart = "";
        const char* otherDiagonal = "";
        const char* angle = "";
    };
    const Case cases[] = {
        {"25", "100", "0.250000", "4.000"},
        {"10", "3", "3.333333", "0.300"},
        // A German user's decimal comma, or a point.
        {"12,5", "100", "0.125000", "8.000"},
        {"12.5", "100", "0.125000", "8.000"},
        {"2.5e1", "100", "0.250000", "4.000"},
        {"", "100", TEXT_INVALID, TEXT_INVALID},
        {"0", "100", TEXT_INVALID, TEXT_INVALID},
        {"-4", "100", TEXT_INVALID, TEXT_INVALID},
        {"abc", "100", TEXT_INVALID, TEXT_INVALID},
        // No step count above 0 to divide by: never "inf".
        {"25", "0", TEXT_INVALID, TEXT_INVALID},
        {"25", "", TEXT_INVALID, TEXT_INVALID},
        {"0.5", "4", "0.125000", "8.000"},
        // Microstepping: the rounded travel per step, inverted, would give 2557.5.
        {"10", "25600", "0.000391", "2560.000"},
        {"10,3", "25600", "0.000402", "2485.437"},
        // Y from its own side and the same step count.
        {"25", "100", "0.250000", "4.000", "12,5", "0.125000", "8.000"},
        {"25", "100", "0.250000", "4.000", "abc", TEXT_INVALID, TEXT_INVALID},
        // The angle between the axes from the diagonals, d1 from the start corner.
        {"100", "100", "1.000000", "1.000", "100", "1.000000", "1.000", "141,42", "141,42",
         "90.00\xB0 (0.00 mm auf 100 mm)"},
        {"100", "100", "1.000000", "1.000", "100", "1.000000", "1.000", "141", "142",
         "90.41\xB0 (0.71 mm auf 100 mm)"},
        {"100", "100", "1.000000", "1.000", "100", "1.000000", "1.000", "141", "", TEXT_INVALID},
        // |d1^2 - d2^2| above 4ab: no parallelogram of sides 100 and 25 has these diagonals.
        {"100", "100", "1.000000", "1.000", "25", "0.250000", "4.000", "130", "20", TEXT_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("X \"") + c.side + "\", Y \"" + c.sideY + "\", steps \"" +
                     c.steps + "\", diagonals \"" + c.diagonalFromStart + "\", \"" +
                     c.otherDiagonal + "\"");
        // Typed, so the field's own rules apply as they would to a user.
        driver::Type(Gadget(SIDE_X), c.side);
        driver::Type(Gadget(SIDE_Y), c.sideY);
        driver::Type(Gadget(DIAGONAL_FROM_START), c.diagonalFromStart);
        driver::Type(Gadget(OTHER_DIAGONAL), c.otherDiagonal);
        driver::Type(Gadget(STEPS), c.steps);
        // Results that were never written would show as this.
        for (int result : {MM_PER_STEP_X, STEPS_PER_MM_X, MM_PER_STEP_Y, STEPS_PER_MM_Y, ANGLE}) {
            ASSERT_TRUE(driver::SetText(Gadget(result), "?"));
        }
        driver::Click(Gadget(CALCULATE));
        // The angle is written last.
        EXPECT_EQ(c.angle, driver::WaitForText(Gadget(ANGLE), c.angle, BOX_TIMEOUT_MS));
        const std::pair<int, const char*> results[] = {{MM_PER_STEP_X, c.shown},
                                                       {STEPS_PER_MM_X, c.stepsPerMm},
                                                       {MM_PER_STEP_Y, c.shownY},
                                                       {STEPS_PER_MM_Y, c.stepsPerMmY},
                                                       {ANGLE, c.angle}};
        for (const auto& result : results) {
            EXPECT_EQ(result.second, driver::WindowText(Gadget(result.first)));
            EXPECT_TRUE(ShowsWholeText(Gadget(result.first))) << "gadget " << result.first;
        }
    }
    // The step-count field takes digits only.
    driver::Type(Gadget(STEPS), "1x0");
    EXPECT_EQ("10", driver::WaitForText(Gadget(STEPS), "10", BOX_TIMEOUT_MS));
    EXPECT_TRUE(program_.FindMessageBox("Fehler") == nullptr);
    CloseAndExpectExitCodeZero();
}

TEST_F(EndToEnd, CloseBoxEndsTheProgramAlsoWhileADriveRuns) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "100", "20"));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_GE(driver::WaitForWrites(program_.TracePath(), 10, SQUARE_TIMEOUT_MS), 10u);
    const DWORD closed = GetTickCount();
    driver::Close(window_);
    // The drive would need some 16 s more; the program does not wait for it.
    ASSERT_EQ(0u, program_.WaitForExit(EXIT_TIMEOUT_MS));
    EXPECT_LT(GetTickCount() - closed, 5000u);
    const size_t atExit = Writes();
    EXPECT_LT(atExit, 804u);
    EXPECT_EQ(0u, ReadTrace(program_.TracePath()).back().value & STEP_LINES)
        << "closing left a step line high";
    // The process has ended, and every thread of it: no write can follow.
    EXPECT_EQ(atExit, Writes());
}

// A start that fails its check changes nothing: the running drive keeps its step count and its
// delay (an emptied delay field would make it pulse with waits of 0 ms and lose steps), also when
// the fields are valid and kalibrix.ini is refused. Its "Fertig!" still comes, also when the
// square is complete while "Fehler" is up: the completion waits until the box is answered.
TEST_F(EndToEnd, FailedStartLeavesTheRunningDriveAlone) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    const struct {
        const char* name;
        const char* delay; // with a port of 888 and a step count of 1
        const char* settings;
        std::string message;
        bool answerWhenDrawn; // "Fehler" stays up until the square is drawn
    } rows[] = {
        {"delay emptied", "", "", TEXT_CHECK_FAILED, false},
        {"kalibrix.ini refused", "1", "[Anschluss]\r\nXTakt=1\r\n",
         "In " + program_.SettingsPath() + " muss XTakt eine Pinnummer von 2 bis 9 sein.", false},
        {"drawn while \"Fehler\" is up", "", "", TEXT_CHECK_FAILED, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t before = Writes();
        ASSERT_TRUE(program_.PlaceSettings(""));
        ASSERT_NO_FATAL_FAILURE(SetInputs("888", "10", "10"));
        ASSERT_NO_FATAL_FAILURE(StartSquare());
        ASSERT_GE(driver::WaitForWrites(program_.TracePath(), before + 4, SQUARE_TIMEOUT_MS),
                  before + 4);
        ASSERT_TRUE(program_.PlaceSettings(row.settings));
        ASSERT_NO_FATAL_FAILURE(SetInputs("888", "1", row.delay));
        driver::Click(Gadget(START));
        if (row.answerWhenDrawn) {
            ASSERT_NE(nullptr, program_.WaitForMessageBox("Fehler", BOX_TIMEOUT_MS));
            const size_t drawn = before + SquareBytes(10).size();
            ASSERT_EQ(drawn, driver::WaitForWrites(program_.TracePath(), drawn, SQUARE_TIMEOUT_MS));
            // Once the drive's thread has ended its completion waits in the queue, and the box's
            // loop has dispatched it once a character typed behind it shows.
            ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns());
            ASSERT_NO_FATAL_FAILURE(WaitForTypedMarker());
            EXPECT_EQ(nullptr, program_.FindMessageBox("Fertig!")) << "two boxes at once";
        }
        ASSERT_NO_FATAL_FAILURE(Confirm("Fehler", row.message.c_str()));
        ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));

        const std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
        std::vector<unsigned> bytes;
        for (size_t i = before; i < trace.size(); ++i) {
            bytes.push_back(trace[i].value);
            if (i > before) {
                EXPECT_GE(trace[i].microseconds - trace[i - 1].microseconds, 10000)
                    << "write " << i;
            }
        }
        EXPECT_EQ(SquareBytes(10), bytes);
    }
    CloseAndExpectExitCodeZero();
}

// The wiring of a common breakout board, step on pin 2 and direction on pin 3, with opto-coupled
// inputs (active low), in kalibrix.ini beside the program, and then with a pre-travel as well,
// read anew at the next start. One in the current folder, which the program must never read,
// would refuse the start.
TEST_F(EndToEnd, KalibrixIniBesideTheProgramSetsTheWiringAndThePreTravel) {
    const std::string wiring = "; Takt vor Richtung, Optokoppler an +5 V\r\n"
                               "[Anschluss]\r\nXTakt=2\r\nXRichtung=3\r\nYTakt = 4\r\n"
                               "YRichtung=5\r\nTaktInvertiert=1\r\n";
    ASSERT_TRUE(program_.Prepare(TestFolder(), ProgramFile(), StandInLibrary(), wiring));
    const std::string current = TestFolder("-current");
    ASSERT_TRUE(driver::FreshFolder(current));
    ASSERT_TRUE(driver::WriteFileText(driver::JoinPath(current, "kalibrix.ini"),
                                      "[Anschluss]\r\nXTakt=1\r\n"));
    ASSERT_TRUE(program_.Start(current));
    ASSERT_NO_FATAL_FAILURE(WaitForWindow());
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "5", "1"));

    // The step lines idle high: each side sets its direction with both at 1 (pins 2 and 4),
    // and a step takes its line low and back. The pre-travel runs X back, X forward, Y back and
    // Y forward on the same pins and levels before the square.
    // With a ramp of 3 steps from 20 ms to the 1 ms of the field each run's first step is due
    // 6.36 ms after its start, two halves of at least 3181 us.
    const SideBytes sides = {{4, 5}, {1, 5}, {6, 7}, {9, 13}};
    const struct {
        const char* name;
        std::string settings;
        int pretravel;
        long long firstHalf; // microseconds, at least
    } rows[] = {
        {"the wiring", wiring, 0, 1000},
        {"with Vorlauf=3", wiring + "[Zeichnen]\r\nVorlauf=3\r\n", 3, 1000},
        {"with Anlauf=3", wiring + "[Zeichnen]\r\nAnlauf=3\r\nStartwartezeit=20\r\n", 0, 3181},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t before = Writes();
        ASSERT_TRUE(program_.PlaceSettings(row.settings));
        ASSERT_NO_FATAL_FAILURE(StartSquare());
        ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
        const std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
        std::vector<unsigned> bytes;
        for (size_t i = before; i < trace.size(); ++i) {
            EXPECT_EQ(888u, trace[i].port);
            bytes.push_back(trace[i].value);
        }
        EXPECT_EQ(SquareBytes(5, sides, row.pretravel), bytes);
        // Each side: its direction, then its first step's rise and fall, each a half apart.
        const size_t square = before + (row.pretravel > 0 ? 4 * (2 * row.pretravel + 1) : 0);
        for (size_t side = square; side + 3 <= trace.size(); side += 11) {
            EXPECT_GE(trace[side + 2].microseconds - trace[side + 1].microseconds, row.firstHalf);
            EXPECT_GE(trace[side + 3].microseconds - trace[side + 2].microseconds, row.firstHalf);
        }
    }
    CloseAndExpectExitCodeZero();
}

// "Fertig!" is never said of a square that went nowhere. A port library whose driver is not open
// writes nothing, so the start is refused at once. A port that does not give back the first byte,
// which only sets the directions, is no port: the drive ends there and says where it wrote and
// what came back. kalibrix.ini can switch that read-back off, for a port that cannot read.
TEST_F(EndToEnd, NoFertigForASquareThatReachedNoPort) {
    const std::string noPort =
        "An Adresse 53264 (hexadezimal D010) antwortet kein Parallelport: geschrieben 0, gelesen "
        "255. Pr\xFC"
        "fe die Adresse im Ger\xE4te-Manager: \"Anschl\xFCsse (COM und LPT)\", Eigenschaften "
        "des Druckeranschlusses, Karte \"Ressourcen\". Schaltet dein Port die Pins, gibt aber "
        "nichts zur\xFC"
        "ck, setze PortPruefen=0 in kalibrix.ini.";
    const struct {
        const char* name;
        std::string library;
        const char* settings;
        const char* refusedAtStart;      // "Fehler" instead of "Fertig?"
        std::string endedAfterFirstByte; // "Fehler" after the first write
    } rows[] = {
        {"driver not open", LibraryWithoutDriver(), "", TEXT_DRIVER_CLOSED, ""},
        {"no port at the address", LibraryWithoutPort(), "", nullptr, noPort},
        {"read-back switched off", LibraryWithoutPort(), "[Anschluss]\r\nPortPruefen=0\r\n",
         nullptr, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(Launch(row.library, row.settings));
        ASSERT_NO_FATAL_FAILURE(SetInputs("53264", "1", "1"));
        driver::Click(Gadget(START));
        std::vector<unsigned> expected = SquareBytes(1);
        if (row.refusedAtStart != nullptr) {
            ASSERT_NO_FATAL_FAILURE(Confirm("Fehler", row.refusedAtStart));
            expected.clear();
        } else {
            ASSERT_NO_FATAL_FAILURE(Confirm("Fertig?", TEXT_READY));
            if (row.endedAfterFirstByte.empty()) {
                ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
            } else {
                ASSERT_NO_FATAL_FAILURE(
                    Confirm("Fehler", row.endedAfterFirstByte.c_str(), SQUARE_TIMEOUT_MS));
                expected.resize(1);
            }
        }
        ASSERT_NO_FATAL_FAILURE(WaitForMarker());
        EXPECT_TRUE(program_.MessageBoxes().empty()) << "a box after the program was done";
        EXPECT_EQ(TEXT_NOTICE, driver::WindowText(Gadget(NOTICE)));
        std::vector<unsigned> bytes;
        for (const PortWrite& write : ReadTrace(program_.TracePath())) {
            EXPECT_EQ(53264u, write.port);
            bytes.push_back(write.value);
        }
        EXPECT_EQ(expected, bytes);
        CloseAndExpectExitCodeZero();
    }
}

// A long square shows how far it has come where the notice stands ("Seite 2 von 4 \xB7 37 % \xB7
// noch 3 s"), and gives the notice back, byte for byte, once it is done or stopped.
TEST_F(EndToEnd, ALongSquareShowsHowFarItHasCome) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "100", "5")); // 804 writes, some 4 s
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    std::vector<int> percentages;
    int lastSide = 0;
    const DWORD start = GetTickCount();
    while (program_.FindMessageBox("Fertig!") == nullptr) {
        ASSERT_LT(GetTickCount() - start, SQUARE_TIMEOUT_MS) << "the square did not end";
        const std::string line = driver::WindowText(Gadget(NOTICE));
        int side = 0, percent = 0, left = 0;
        char unit[8] = "";
        // The dots are read as characters: the runtime's sscanf matches no byte past 0x7F.
        char dot = 0, otherDot = 0;
        if (std::sscanf(line.c_str(), "Seite %d von 4 %c %d %% %c noch %d %7s", &side, &dot,
                        &percent, &otherDot, &left, unit) == 6 &&
            dot == '\xB7' && otherDot == '\xB7') {
            EXPECT_GE(side, lastSide) << line;
            EXPECT_TRUE(std::string(unit) == "s" || std::string(unit) == "min") << line;
            lastSide = side;
            if (percentages.empty() || percentages.back() != percent) {
                EXPECT_TRUE(percentages.empty() || percent > percentages.back()) << line;
                percentages.push_back(percent);
            }
        } else if (line != TEXT_NOTICE) {
            ADD_FAILURE() << "the line reads \"" << line << "\"";
        }
        Sleep(50);
    }
    EXPECT_GE(percentages.size(), 3u) << "the line showed too little of the square's progress";
    EXPECT_EQ(TEXT_NOTICE, driver::WaitForText(Gadget(NOTICE), TEXT_NOTICE, BOX_TIMEOUT_MS));
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE));

    ASSERT_NO_FATAL_FAILURE(StartSquare());
    const DWORD shown = GetTickCount();
    while (driver::WindowText(Gadget(NOTICE)).compare(0, 6, "Seite ") != 0) {
        ASSERT_LT(GetTickCount() - shown, BOX_TIMEOUT_MS) << "no progress line";
        Sleep(20);
    }
    driver::Click(Gadget(STOP));
    ASSERT_NE(nullptr, program_.WaitForMessageBox("Stop...", BOX_TIMEOUT_MS));
    EXPECT_EQ(TEXT_NOTICE, driver::WindowText(Gadget(NOTICE)));
    ASSERT_NO_FATAL_FAILURE(Confirm("Stop...", TEXT_STOPPED));
    ASSERT_NO_FATAL_FAILURE(WaitForMarker());
    EXPECT_EQ(TEXT_NOTICE, driver::WindowText(Gadget(NOTICE)))
        << "a stopped drive's progress came back";
    CloseAndExpectExitCodeZero();
}

// A second start stops the running drive first: the machine stands still while "Fertig?" asks
// for the pen, and the new square is drawn alone.
TEST_F(EndToEnd, SecondStartStopsTheRunningDriveBeforeItAsks) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "40", "10"));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_GE(driver::WaitForWrites(program_.TracePath(), 10, SQUARE_TIMEOUT_MS), 10u);
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "2", "1"));
    driver::Click(Gadget(START));
    HWND ready = program_.WaitForMessageBox("Fertig?", BOX_TIMEOUT_MS);
    ASSERT_NE(nullptr, ready);
    const size_t atQuestion = Writes();
    ASSERT_LT(atQuestion, 324u);
    ASSERT_NO_FATAL_FAILURE(WaitUntilNoDriveRuns());
    EXPECT_EQ(atQuestion, Writes()) << "the machine moved while the user places the pen";
    ASSERT_TRUE(driver::AnswerMessageBox(ready));
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    ASSERT_NO_FATAL_FAILURE(WaitUntilSettled());
    EXPECT_EQ(nullptr, program_.FindMessageBox("Fertig!")) << "the first drive went on";

    const std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
    ASSERT_EQ(atQuestion + 20, trace.size());
    std::vector<unsigned> first, second;
    for (size_t i = 0; i < trace.size(); ++i) {
        (i < atQuestion ? first : second).push_back(trace[i].value);
    }
    std::vector<unsigned> expected = SquareBytes(40);
    expected.resize(atQuestion);
    EXPECT_EQ(expected, first);
    EXPECT_EQ(0u, first.back() & STEP_LINES) << "the stop left a step line high";
    EXPECT_EQ(SquareBytes(2), second);
    CloseAndExpectExitCodeZero();
}

// Microstepping on a workshop PC with a single core: the program bound to one processor draws a
// square at 0.05 ms, typed with a decimal comma, and no interval between two writes is shorter.
// While a long square is drawn the window's thread still runs beside the drive (its progress line
// shows), and STOP ends the square: nothing of it follows, as a one-step square after it shows.
TEST_F(EndToEnd, AFastSquareOnOneCoreKeepsItsDelayAndStops) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(SetProcessAffinityMask(program_.ProcessHandle(), 1));
    driver::Type(Gadget(DELAY), "0,05");
    ASSERT_EQ("0,05", driver::WaitForText(Gadget(DELAY), "0,05", BOX_TIMEOUT_MS));
    driver::Type(Gadget(STEPS), "2000");
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
    std::vector<unsigned> bytes;
    long long shortestGap = -1;
    for (size_t i = 0; i < trace.size(); ++i) {
        bytes.push_back(trace[i].value);
        if (i > 0) {
            const long long gap = trace[i].microseconds - trace[i - 1].microseconds;
            shortestGap = shortestGap < 0 || gap < shortestGap ? gap : shortestGap;
        }
    }
    EXPECT_EQ(SquareBytes(2000), bytes);
    EXPECT_GE(shortestGap, 50);

    driver::Type(Gadget(STEPS), "1000000");
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    const DWORD started = GetTickCount();
    while (driver::WindowText(Gadget(NOTICE)).compare(0, 6, "Seite ") != 0) {
        ASSERT_LT(GetTickCount() - started, BOX_TIMEOUT_MS) << "no progress line";
        Sleep(20);
    }
    driver::Click(Gadget(STOP));
    ASSERT_NO_FATAL_FAILURE(Confirm("Stop...", TEXT_STOPPED));
    const size_t atStop = Writes();
    ASSERT_LT(atStop, bytes.size() + SquareBytes(1000000).size());
    EXPECT_EQ(0u, ReadTrace(program_.TracePath()).back().value & STEP_LINES)
        << "the stop left a step line high";
    driver::Type(Gadget(STEPS), "1");
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    trace = ReadTrace(program_.TracePath());
    ASSERT_EQ(atStop + SquareBytes(1).size(), trace.size()) << "a write after the stop";
    bytes.clear();
    for (size_t i = atStop; i < trace.size(); ++i) {
        bytes.push_back(trace[i].value);
    }
    EXPECT_EQ(SquareBytes(1), bytes);
    CloseAndExpectExitCodeZero();
}

// The user's STOP and START racing the drive's completion, cycle after cycle (see below).
class CompletionRace : public EndToEnd {
  protected:
    // The one box the program shows, once it shows one; two boxes at once fail.
    void WaitForBox(HWND* box, std::string* title) {
        const DWORD start = GetTickCount();
        for (;;) {
            const std::vector<HWND> boxes = program_.MessageBoxes();
            if (boxes.size() > 1) {
                FAIL() << "two boxes at once:" << BoxesUp();
            }
            // One that went while its title was read was no answer of the program's.
            if (boxes.size() == 1) {
                *box = boxes.front();
                *title = driver::WindowText(*box);
                if (IsWindow(*box)) {
                    return;
                }
            }
            ASSERT_LT(GetTickCount() - start, BOX_TIMEOUT_MS) << "no box came: the click was lost";
            Sleep(1);
        }
    }

    void Answer(HWND box) {
        ASSERT_TRUE(driver::AnswerMessageBox(box));
        const DWORD start = GetTickCount();
        while (IsWindow(box) && GetTickCount() - start < BOX_TIMEOUT_MS) {
            Sleep(1);
        }
        ASSERT_FALSE(IsWindow(box)) << "the box did not close";
    }

    // "Fertig!" is true only once for a square drawn whole since its "Fertig?", with no "Stop..."
    // and no other "Fertig?" in between.
    void TakeCompletion(HWND box) {
        ASSERT_TRUE(drawing_) << "\"Fertig!\" for a square that was stopped, replaced or reported";
        const std::vector<PortWrite> trace = ReadTrace(program_.TracePath());
        std::vector<unsigned> bytes;
        for (size_t i = base_; i < trace.size(); ++i) {
            bytes.push_back(trace[i].value);
        }
        ASSERT_EQ(SquareBytes(1), bytes) << "\"Fertig!\" for a square not drawn whole";
        EXPECT_EQ(TEXT_DONE, driver::MessageBoxText(box));
        drawing_ = false;
        ++completed_;
        // The click that lost the race went into the box's loop, where the main window is
        // disabled and a user's click is lost likewise. A click on "Berechnen!" behind it takes
        // its place, so it cannot show its box later, in the middle of another cycle.
        driver::Click(Gadget(CALCULATE));
        ASSERT_NO_FATAL_FAILURE(Answer(box));
    }

    // Clicks the button and waits for its box. A "Fertig!" that comes first, when the square was
    // complete before the click was taken, is checked and answered, and the button clicked again.
    void ClickFor(int button, const char* expected, HWND* box) {
        driver::Click(Gadget(button));
        std::string title;
        ASSERT_NO_FATAL_FAILURE(WaitForBox(box, &title));
        if (title == "Fertig!") {
            ++raced_;
            ASSERT_NO_FATAL_FAILURE(TakeCompletion(*box));
            driver::Click(Gadget(button));
            ASSERT_NO_FATAL_FAILURE(WaitForBox(box, &title));
        }
        ASSERT_EQ(expected, title);
    }

    // Confirms "Fertig?": no drive runs while it is up, so the square starts at this write.
    void ConfirmStart(HWND box) {
        base_ = Writes();
        drawing_ = true;
        ASSERT_NO_FATAL_FAILURE(Answer(box));
    }

    void WaitForTrace(size_t writes) {
        const DWORD start = GetTickCount();
        while (Writes() < writes) {
            ASSERT_LT(GetTickCount() - start, SQUARE_TIMEOUT_MS) << "the square stalled";
            Sleep(1);
        }
    }

    size_t base_ = 0;      // the writes before the square of the last confirmed "Fertig?"
    bool drawing_ = false; // that square is neither stopped, replaced nor reported
    int completed_ = 0;    // squares reported with "Fertig!"
    int raced_ = 0;        // of them, those that came before a click made meanwhile
};

// A user starts a one-step square with 1 ms waits, and STOP or a new START comes as it draws its
// last writes: before, at or just after its completion, which the drive hands to the window's
// thread. The drive used to decide on "Fertig!" itself, so a stop that fell between its check and
// its box showed "Fertig!" after "Stop...", or while the next square was drawn. Now every click
// shows its box, never two boxes are up at once, and "Fertig!" comes only for a square drawn whole
// since its "Fertig?". The number of cycles is printed as a figure.
TEST_F(CompletionRace, RapidStopsAndRestartsNeverShowALateFertig) {
    constexpr int CYCLES = 150;
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "1", "1"));
    const size_t squareWrites = SquareBytes(1).size();
    uint32_t random = 17; // the same cycles in every run
    int stops = 0;
    int restarts = 0;
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(ClickFor(START, "Fertig?", &box));
    ASSERT_NO_FATAL_FAILURE(ConfirmStart(box));
    for (int cycle = 0; cycle < CYCLES; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        random = random * 1103515245u + 12345u;
        const uint32_t pick = random >> 8;
        // Half the clicks once one of the last four writes is seen, when the click and the
        // completion race (the click loses about every second time), the rest earlier; each up
        // to 2 ms later.
        const size_t writes =
            pick % 2 == 0 ? squareWrites - (pick >> 1) % 4 : 1 + (pick >> 1) % (squareWrites - 4);
        ASSERT_NO_FATAL_FAILURE(WaitForTrace(base_ + writes));
        Sleep((pick >> 5) % 3);
        if ((pick >> 7) % 2 == 0) {
            ++stops;
            ASSERT_NO_FATAL_FAILURE(ClickFor(STOP, "Stop...", &box));
            drawing_ = false;
            EXPECT_EQ(TEXT_STOPPED, driver::MessageBoxText(box));
            ASSERT_NO_FATAL_FAILURE(Answer(box));
            // The stopped drive's progress, posted before the stop, never shows after it.
            ASSERT_NO_FATAL_FAILURE(WaitForMarker());
            EXPECT_EQ(TEXT_NOTICE, driver::WindowText(Gadget(NOTICE)));
            ASSERT_NO_FATAL_FAILURE(ClickFor(START, "Fertig?", &box));
        } else {
            ++restarts;
            ASSERT_NO_FATAL_FAILURE(ClickFor(START, "Fertig?", &box));
        }
        drawing_ = false;
        EXPECT_EQ(TEXT_READY, driver::MessageBoxText(box));
        ASSERT_NO_FATAL_FAILURE(ConfirmStart(box));
    }
    // The last square is let draw: its "Fertig!" comes, and nothing after it.
    ASSERT_NO_FATAL_FAILURE(WaitForTrace(base_ + squareWrites));
    std::string title;
    ASSERT_NO_FATAL_FAILURE(WaitForBox(&box, &title));
    ASSERT_EQ("Fertig!", title);
    ASSERT_NO_FATAL_FAILURE(TakeCompletion(box));
    ASSERT_NO_FATAL_FAILURE(WaitUntilSettled());
    EXPECT_TRUE(program_.MessageBoxes().empty());
    std::printf("Completion race: %d cycles of a one-step square with 1 ms waits, %d stopped and "
                "%d restarted; %d squares reported \"Fertig!\" (%d before a click made "
                "meanwhile), no late \"Fertig!\"\n",
                CYCLES, stops, restarts, completed_, raced_);
    CloseAndExpectExitCodeZero();
}

// Wine's per-program setting of the Windows version it reports (winecfg's "Applications"
// page), for the time of one test: HKCU\Software\Wine\AppDefaults\<program>, "Version".
class ReportedWindowsVersion {
  public:
    ReportedWindowsVersion(const char* program, const char* version)
        : key_(std::string("Software\\Wine\\AppDefaults\\") + program) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            set_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                  static_cast<DWORD>(std::strlen(version) + 1)) == ERROR_SUCCESS;
            RegCloseKey(key);
        }
    }
    ~ReportedWindowsVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
    ReportedWindowsVersion(const ReportedWindowsVersion&) = delete;
    ReportedWindowsVersion& operator=(const ReportedWindowsVersion&) = delete;
    bool Set() const { return set_; }

  private:
    std::string key_;
    bool set_ = false;
};

// What "ver" says in a command shell started in the folder (through a file, which needs no
// pipe plumbing); empty when it does not run.
std::string CommandShellVersion(const std::string& folder) {
    const std::string output = driver::JoinPath(folder, "ver.txt");
    std::string command = "cmd.exe /c ver > \"" + output + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        folder.c_str(), &startup, &process)) {
        return std::string();
    }
    WaitForSingleObject(process.hProcess, EXIT_TIMEOUT_MS);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string text;
    HANDLE file = CreateFileA(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[256];
        DWORD read = 0;
        if (ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr)) {
            text.assign(buffer, read);
        }
        CloseHandle(file);
    }
    return text;
}

// The oldest system the program is for. Wine reports Windows XP (5.1) to kalibrix.exe, as it
// does to the command shell, whose "ver" proves the setting takes effect; the program starts,
// draws the square and closes there. Only the 32-bit program ships, so only it meets Windows XP.
TEST_F(EndToEnd, OnWindowsXpItStartsDrawsTheSquareAndCloses) {
    if (sizeof(void*) != 4) {
        GTEST_SKIP() << "the 64-bit test build never runs on Windows XP";
    }
    ReportedWindowsVersion programOnXp("kalibrix.exe", "winxp");
    ReportedWindowsVersion shellOnXp("cmd.exe", "winxp");
    ASSERT_TRUE(programOnXp.Set() && shellOnXp.Set());
    ASSERT_TRUE(driver::FreshFolder(TestFolder("-shell")));
    EXPECT_NE(std::string::npos, CommandShellVersion(TestFolder("-shell")).find(" 5.1."))
        << "Wine does not report Windows XP";

    ASSERT_NO_FATAL_FAILURE(Launch());
    EXPECT_TRUE(IsWindowVisible(window_));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    std::vector<unsigned> bytes;
    for (const PortWrite& write : ReadTrace(program_.TracePath())) {
        bytes.push_back(write.value);
    }
    EXPECT_EQ(SquareBytes(100), bytes);
    CloseAndExpectExitCodeZero();
}

TEST_F(EndToEnd, IdleCloseEndsWithExitCodeZero) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    CloseAndExpectExitCodeZero();
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(0u, Writes());
}

// Each way of not having a usable port library: the error, no window, exit code 0.
TEST_F(EndToEnd, UnusablePortLibraryEndsWithTheErrorMessage) {
    struct Case {
        const char* name;
        std::string besideProgram;   // library copied beside kalibrix.exe, or none
        std::string inCurrentFolder; // library in the current directory only, or none
    };
    const Case cases[] = {
        {"missing", "", ""},
        {"without Out32", LibraryWithoutOut32(), ""},
        // Planted in the current directory: it must not be picked up from there.
        {"only in the current directory", "", StandInLibrary()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver::Program program;
        ASSERT_TRUE(program.Prepare(TestFolder("-program"), ProgramFile(), c.besideProgram));
        std::string current;
        if (!c.inCurrentFolder.empty()) {
            current = TestFolder("-current");
            ASSERT_TRUE(driver::FreshFolder(current));
            ASSERT_TRUE(CopyFileA(c.inCurrentFolder.c_str(),
                                  driver::JoinPath(current, "inpout32.dll").c_str(), FALSE));
        }
        ASSERT_TRUE(program.Start(current));
        HWND box = program.WaitForMessageBox("Fehler", START_TIMEOUT_MS);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(TEXT_NO_LIBRARY, driver::MessageBoxText(box));
        for (HWND window : program.VisibleWindows()) {
            EXPECT_NE(MAIN_WINDOW_CLASS, driver::ClassName(window)) << "no window opens";
        }
        ASSERT_TRUE(driver::AnswerMessageBox(box));
        EXPECT_EQ(0u, program.WaitForExit(EXIT_TIMEOUT_MS));
        EXPECT_TRUE(ReadTrace(program.TracePath()).empty());
    }
}

// Icon 1 at 16, 32 and 48 pixels, the version block and the manifest, all in German.
TEST(ProgramFile, CarriesItsResources) {
    HMODULE image = LoadLibraryExA(ProgramFile().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, image);
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

    HRSRC group = FindResourceExA(image, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(1),
                                  german); // RT_GROUP_ICON
    ASSERT_NE(nullptr, group);
    const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(image, group)));
    ASSERT_NE(nullptr, directory);
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE width = directory[6 + 14 * i];
        sizes.insert(width == 0 ? 256 : width);
    }
    EXPECT_EQ((std::set<int>{16, 32, 48}), sizes);

    HRSRC manifest =
        FindResourceExA(image, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), german); // RT_MANIFEST
    ASSERT_NE(nullptr, manifest);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(image, manifest))),
                           SizeofResource(image, manifest));
    EXPECT_NE(std::string::npos, text.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos, text.find("version=\"6.0.0.0\""));

    HRSRC version =
        FindResourceExA(image, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), german); // RT_VERSION
    ASSERT_NE(nullptr, version);
    std::vector<BYTE> block(SizeofResource(image, version));
    memcpy(block.data(), LockResource(LoadResource(image, version)), block.size());
    FreeLibrary(image);

    struct Entry {
        const char* query;
        const char* value;
    };
    const Entry entries[] = {
        {"\\StringFileInfo\\040704B0\\FileVersion", "V1"},
        {"\\StringFileInfo\\040704B0\\ProductVersion", "V1"},
    };
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.query);
        char* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(
            VerQueryValueA(block.data(), entry.query, reinterpret_cast<void**>(&value), &length));
        EXPECT_STREQ(entry.value, value);
    }
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x0407, translation[0]) << "German";
    EXPECT_EQ(1200, translation[1]) << "Unicode";
}

// Another process posts what would have started the machine: the layer's gadget event and focus
// notice, a command from a window of its own that has the start button's number, and the
// destruction of the port field. After a square the user drew, the last gadget is the start
// button, so any of them taken as real would ask "Fertig?" and then drive the port.
TEST_F(EndToEnd, ForgedMessagesStartNothing) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(SetInputs("888", "1", "1"));
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    const size_t drawn = Writes();

    HWND owner = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    HWND stranger = CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 10, 10, owner,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(START)),
                                    GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, stranger);
    const LPARAM startButton = reinterpret_cast<LPARAM>(Gadget(START));
    EXPECT_TRUE(PostEach({
        {window_, 13100, START, 0},
        {window_, 13103, START, 0},
        {window_, 13103, START, startButton},
        {window_, WM_COMMAND, MAKEWPARAM(START, BN_CLICKED), reinterpret_cast<LPARAM>(stranger)},
        {Gadget(PORT), WM_NCDESTROY, 0, 0},
        {Gadget(PORT), WM_DESTROY, 0, 0},
    }));
    const DWORD thread = GetWindowThreadProcessId(window_, nullptr);
    EXPECT_TRUE(PostThreadMessageA(thread, 13100, START, 0));
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window_, 13103, START, 0, SMTO_ABORTIFHUNG, BOX_TIMEOUT_MS, &result);
    ASSERT_NO_FATAL_FAILURE(WaitUntilSettled());
    DestroyWindow(owner);
    EXPECT_EQ(nullptr, program_.FindMessageBox("Fertig?")) << "a forged message started a square";
    EXPECT_EQ(drawn, Writes());

    // The start button's own click still starts a square, with the port field still a gadget.
    ASSERT_NO_FATAL_FAILURE(StartSquare());
    ASSERT_NO_FATAL_FAILURE(Confirm("Fertig!", TEXT_DONE, SQUARE_TIMEOUT_MS));
    EXPECT_EQ(drawn * 2, Writes());
    CloseAndExpectExitCodeZero();
}

// The layer's private messages lie in the application range, where any process may post them:
// junk values sent to the window and to gadgets leave the program working.
TEST_F(EndToEnd, JunkPayloadMessagesFromAnotherProcessAreDropped) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(PostEach({
        {window_, 13105, 0, 1},
        {window_, 13106, 12, 0x15},
        {window_, 13105, 0, 0x7FFE0000},
        {Gadget(PORT), 13105, 0, 1},
        {Gadget(START), 13106, 12, 0x15},
        {window_, 13120, 0, 1},
    }));
    // A notification carries an address of the sender's: from another process, sent or posted,
    // it points anywhere in the program.
    for (LPARAM junk : {LPARAM{0x15}, LPARAM{0x7FFE0000}}) {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window_, WM_NOTIFY, 0, junk, SMTO_ABORTIFHUNG, BOX_TIMEOUT_MS, &result);
        PostMessageA(window_, WM_NOTIFY, 0, junk);
    }
    // The wait after each of them frees the payload the message carried, if it took one: all of
    // them are taken once a marker queued behind shows.
    ASSERT_NO_FATAL_FAILURE(WaitForMarker());
    ASSERT_TRUE(driver::Answers(window_, BOX_TIMEOUT_MS)) << "the program no longer answers";
    driver::Type(Gadget(SIDE_X), "25");
    driver::Type(Gadget(STEPS), "100");
    driver::Click(Gadget(CALCULATE));
    EXPECT_EQ("0.250000", driver::WaitForText(Gadget(MM_PER_STEP_X), "0.250000", BOX_TIMEOUT_MS));
    CloseAndExpectExitCodeZero();
}

} // namespace
