// Drives the real kalibrix.exe from another process the way a user would: starts it in a folder
// of its own beside a port library, finds its window, gadgets and message boxes, types texts,
// clicks buttons and reads the port trace. Shared by the end-to-end tests and the dry run.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace driver {

// The folder of the running program, without a trailing backslash.
std::string OwnFolder();
std::string JoinPath(const std::string& folder, const std::string& name);
// Creates the folder (and its parents) and deletes the files in it; false on failure.
bool FreshFolder(const std::string& folder);
bool FileExists(const std::string& path);

// The texts of a window of another process, read through WM_GETTEXT so they come across
// processes byte for byte in the ANSI code page.
std::string WindowText(HWND window);
std::string ClassName(HWND window);

class Program {
  public:
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program(); // ends a program that still runs: a failed test leaves nothing behind

    // Copies kalibrix.exe and, unless `library` is empty, that file as "inpout32.dll" into a
    // fresh `folder`, with `settings` as its kalibrix.ini unless they are empty; the trace goes
    // to "port-trace.txt" there.
    bool Prepare(const std::string& folder, const std::string& program, const std::string& library,
                 const std::string& settings = std::string());
    // Writes kalibrix.ini beside the program, or deletes it when `settings` is empty.
    bool PlaceSettings(const std::string& settings);
    std::string SettingsPath() const { return JoinPath(folder_, "kalibrix.ini"); }
    // Uses a folder that already holds kalibrix.exe and its library; removes an old trace.
    void UseFolder(const std::string& folder);
    // Starts the program; the current directory is its folder unless one is given.
    bool Start(const std::string& currentDirectory = "");
    DWORD ProcessId() const { return info_.dwProcessId; }
    HANDLE ProcessHandle() const { return info_.hProcess; }
    const std::string& Folder() const { return folder_; }
    const std::string& TracePath() const { return tracePath_; }

    // The main window once it is shown with all its gadgets and the program waits for input;
    // null on time-out or when the program ends first.
    HWND WaitForWindow(DWORD timeoutMs);
    // A message box ("#32770") of the program with this title; null on time-out.
    HWND WaitForMessageBox(const char* title, DWORD timeoutMs);
    HWND FindMessageBox(const char* title) const;
    // Every message box of the program that is visible, whatever its title.
    std::vector<HWND> MessageBoxes() const;
    // Every top-level window of the program that is visible.
    std::vector<HWND> VisibleWindows() const;

    // The exit code once the program has ended, or STILL_ACTIVE on time-out.
    DWORD WaitForExit(DWORD timeoutMs);
    void Kill();

  private:
    std::string folder_;
    std::string programPath_;
    std::string tracePath_;
    PROCESS_INFORMATION info_ = {};
};

// The text shown by a message box (its static text control).
std::string MessageBoxText(HWND box);
// Presses the box's confirming button as a click would; false when it has none.
bool AnswerMessageBox(HWND box);
// Presses Esc in the box, as a user backing out of it would.
void PressEscape(HWND box);

// The gadget of the main window with this number (its control identifier).
HWND Gadget(HWND window, int number);
// Posts a click, so that it arrives as a retrieved message, as a real click would.
void Click(HWND button);
// Replaces the text at once (WM_SETTEXT bypasses ES_NUMBER, as pasting a text would not).
bool SetText(HWND control, const char* text);
// Empties the field and types the characters one by one (WM_CHAR, so ES_NUMBER applies).
void Type(HWND control, const char* text);
// Waits until the control's text is `expected` and returns what it read last.
std::string WaitForText(HWND control, const std::string& expected, DWORD timeoutMs);
// Waits until the control's text is not empty and returns it ("" on time-out).
std::string WaitForAnyText(HWND control, DWORD timeoutMs);
// Asks the window (or a message box) to close as its close box does.
void Close(HWND window);

// True when the window's thread answers a sent message within the time: it neither hangs nor
// has gone.
bool Answers(HWND window, DWORD timeoutMs);

// How many handles the process holds, counted in the system's handle table; 0 when the system
// does not tell.
size_t HandleCount(DWORD processId);
// How many threads the process runs. A drive runs in a thread of its own: once the count is back
// to that of the idle program, no drive runs and the one that ran has written all it will.
size_t ThreadCount(DWORD processId);
// Waits until the process runs at most `count` threads; returns how many it runs.
size_t WaitForThreadCount(DWORD processId, size_t count, DWORD timeoutMs);

// Waits until the port trace has at least `count` writes; returns how many it has.
size_t WaitForWrites(const std::string& path, size_t count, DWORD timeoutMs);

// Writes a file with these bytes; false on failure.
bool WriteFileText(const std::string& path, const std::string& text);

} // namespace driver
