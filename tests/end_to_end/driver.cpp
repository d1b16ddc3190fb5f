#include "tests/end_to_end/driver.h"

#include <tlhelp32.h>
#include "tests/support/main_window_catalogue.h"
#include "tests/support/port_trace.h"

namespace driver {

namespace {

// A program that stops answering must not hang the driver.
constexpr UINT MESSAGE_TIMEOUT_MS = 5000;

bool IsOfProcess(HWND window, DWORD processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == processId;
}

struct WindowSearch {
    DWORD processId;
    const char* className; // or null for any
    const char* title;     // or null for any
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    if (!IsOfProcess(window, search->processId)) {
        return TRUE;
    }
    if (search->visibleOnly && !IsWindowVisible(window)) {
        return TRUE;
    }
    if (search->className != nullptr && ClassName(window) != search->className) {
        return TRUE;
    }
    if (search->title != nullptr && WindowText(window) != search->title) {
        return TRUE;
    }
    search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> FindWindows(DWORD processId, const char* className, const char* title,
                              bool visibleOnly) {
    WindowSearch search = {processId, className, title, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

std::string OwnFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') {
        return folder + name;
    }
    return folder + "\\" + name;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FreshFolder(const std::string& folder) {
    for (size_t at = folder.find_first_of("\\/", 3); at != std::string::npos;
         at = folder.find_first_of("\\/", at + 1)) {
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(JoinPath(folder, "*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileA(JoinPath(folder, entry.cFileName).c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, MESSAGE_TIMEOUT_MS,
                             &length)) {
        return std::string();
    }
    std::vector<char> text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, MESSAGE_TIMEOUT_MS, &copied)) {
        return std::string();
    }
    return std::string(text.data(), copied < text.size() ? copied : text.size() - 1);
}

std::string ClassName(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

Program::~Program() {
    Kill();
}

void Program::UseFolder(const std::string& folder) {
    folder_ = folder;
    programPath_ = JoinPath(folder, "kalibrix.exe");
    tracePath_ = JoinPath(folder, "port-trace.txt");
    DeleteFileA(tracePath_.c_str());
}

bool Program::Prepare(const std::string& folder, const std::string& program,
                      const std::string& library, const std::string& settings) {
    UseFolder(folder);
    if (!FreshFolder(folder) || !CopyFileA(program.c_str(), programPath_.c_str(), FALSE)) {
        return false;
    }
    if (!library.empty() &&
        !CopyFileA(library.c_str(), JoinPath(folder, "inpout32.dll").c_str(), FALSE)) {
        return false;
    }
    return settings.empty() || PlaceSettings(settings);
}

bool Program::PlaceSettings(const std::string& settings) {
    if (settings.empty()) {
        return DeleteFileA(SettingsPath().c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    return WriteFileText(SettingsPath(), settings);
}

bool WriteFileText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool whole =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    return CloseHandle(file) && whole;
}

bool Program::Start(const std::string& currentDirectory) {
    // The stand-in library finds its trace file through the environment it inherits.
    SetEnvironmentVariableA("KALIBRIX_PORT_TRACE", tracePath_.c_str());
    std::string commandLine = "\"" + programPath_ + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    const std::string& directory = currentDirectory.empty() ? folder_ : currentDirectory;
    if (!CreateProcessA(programPath_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info_)) {
        info_ = PROCESS_INFORMATION();
        return false;
    }
    return true;
}

HWND Program::WaitForWindow(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    do {
        std::vector<HWND> found =
            FindWindows(ProcessId(), testsupport::MAIN_WINDOW_CLASS, nullptr, true);
        // The window shows before its gadgets are made: wait until the last one exists and the
        // program waits for input.
        if (!found.empty() && GetDlgItem(found.front(), testsupport::LAST_GADGET_MADE) != nullptr) {
            const DWORD spent = GetTickCount() - start;
            WaitForInputIdle(ProcessHandle(), spent < timeoutMs ? timeoutMs - spent : 0);
            return found.front();
        }
        if (WaitForSingleObject(ProcessHandle(), 20) == WAIT_OBJECT_0) {
            return nullptr;
        }
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND Program::FindMessageBox(const char* title) const {
    std::vector<HWND> found = FindWindows(ProcessId(), "#32770", title, true);
    return found.empty() ? nullptr : found.front();
}

std::vector<HWND> Program::MessageBoxes() const {
    return FindWindows(ProcessId(), "#32770", nullptr, true);
}

HWND Program::WaitForMessageBox(const char* title, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    do {
        HWND box = FindMessageBox(title);
        if (box != nullptr) {
            return box;
        }
        if (WaitForSingleObject(ProcessHandle(), 20) == WAIT_OBJECT_0) {
            return nullptr;
        }
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

std::vector<HWND> Program::VisibleWindows() const {
    return FindWindows(ProcessId(), nullptr, nullptr, true);
}

DWORD Program::WaitForExit(DWORD timeoutMs) {
    if (info_.hProcess == nullptr ||
        WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void Program::Kill() {
    if (info_.hProcess != nullptr) {
        if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
        info_ = PROCESS_INFORMATION();
    }
}

std::string MessageBoxText(HWND box) {
    // The message box's text is the static control with the identifier 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    return text != nullptr ? WindowText(text) : std::string();
}

bool AnswerMessageBox(HWND box) {
    for (int id : {IDOK, IDYES, IDCANCEL, IDNO, IDABORT, IDRETRY, IDIGNORE}) {
        HWND button = GetDlgItem(box, id);
        if (button != nullptr) {
            Click(button);
            return true;
        }
    }
    return false;
}

void PressEscape(HWND box) {
    // Posted to the box itself, whose dialog loop turns Esc into its cancel command.
    PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(box, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
}

HWND Gadget(HWND window, int number) {
    return GetDlgItem(window, number);
}

void Click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

bool SetText(HWND control, const char* text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                               SMTO_ABORTIFHUNG, MESSAGE_TIMEOUT_MS, &result) != 0;
}

void Type(HWND control, const char* text) {
    SetText(control, "");
    for (const char* c = text; *c != '\0'; ++c) {
        PostMessageA(control, WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
}

std::string WaitForText(HWND control, const std::string& expected, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    std::string text = WindowText(control);
    while (text != expected && GetTickCount() - start < timeoutMs) {
        Sleep(20);
        text = WindowText(control);
    }
    return text;
}

std::string WaitForAnyText(HWND control, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    std::string text = WindowText(control);
    while (text.empty() && GetTickCount() - start < timeoutMs) {
        Sleep(20);
        text = WindowText(control);
    }
    return text;
}

void Close(HWND window) {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

namespace {

// The system handle table as NtQuerySystemInformation (SystemHandleInformation, 16) returns it.
struct SystemHandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT handle;
    PVOID object;
    ULONG grantedAccess;
};
struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};
using NtQuerySystemInformationFunction = LONG(WINAPI*)(ULONG informationClass, PVOID information,
                                                       ULONG length, PULONG returnedLength);
constexpr ULONG SYSTEM_HANDLE_INFORMATION = 16;

} // namespace

size_t HandleCount(DWORD processId) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto query = reinterpret_cast<NtQuerySystemInformationFunction>(reinterpret_cast<void (*)()>(
        ntdll != nullptr ? GetProcAddress(ntdll, "NtQuerySystemInformation") : nullptr));
    if (query == nullptr) {
        return 0;
    }
    std::vector<char> buffer(1 << 20);
    ULONG returned = 0;
    LONG status;
    while ((status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(),
                           static_cast<ULONG>(buffer.size()), &returned)) ==
               static_cast<LONG>(0xC0000004) && // STATUS_INFO_LENGTH_MISMATCH
           buffer.size() < (64u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        return 0;
    }
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    size_t count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        // The table has room for the low 16 bits of a process id only.
        if (table->entries[i].processId == static_cast<USHORT>(processId)) {
            ++count;
        }
    }
    return count;
}

size_t ThreadCount(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    size_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

size_t WaitForThreadCount(DWORD processId, size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    size_t have = ThreadCount(processId);
    while (have > count && GetTickCount() - start < timeoutMs) {
        Sleep(20);
        have = ThreadCount(processId);
    }
    return have;
}

size_t WaitForWrites(const std::string& path, size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    size_t have = testsupport::ReadTrace(path).size();
    while (have < count && GetTickCount() - start < timeoutMs) {
        Sleep(20);
        have = testsupport::ReadTrace(path).size();
    }
    return have;
}

bool Answers(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

} // namespace driver
