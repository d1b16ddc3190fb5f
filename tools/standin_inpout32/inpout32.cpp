// A stand-in for the port I/O library "inpout32.dll" that touches no hardware: it keeps the last
// byte written to each port, so that Inp32 reads it back, and appends every write to a trace
// file named by the environment variable KALIBRIX_PORT_TRACE, one line per write:
//
//     <microseconds> <port> <byte>
//
// The microseconds come from the system's performance counter, so they compare across
// processes. Each line goes out in one WriteFile on a handle opened for appending, so a process
// that is killed loses no write it made before. For tests, the dry run and benchmarks only.
//
// Like the current versions of the real library it tells whether its driver is open. Built with
// STANDIN_DRIVER_CLOSED it says no, as the real one does without administrator rights; built
// with STANDIN_NO_PORT, Inp32 reads 255, as an address where no port answers does.
#include <windows.h>
#include <cstdio>

namespace {

CRITICAL_SECTION traceLock;
unsigned char lastByte[65536];
HANDLE traceFile = INVALID_HANDLE_VALUE;
bool traceOpened = false;
LARGE_INTEGER counterFrequency;

long long MicrosecondsNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / counterFrequency.QuadPart * 1000000 +
           now.QuadPart % counterFrequency.QuadPart * 1000000 / counterFrequency.QuadPart;
}

// Opened on the first write rather than in DllMain, which must not do file work.
HANDLE TraceFile() {
    if (!traceOpened) {
        traceOpened = true;
        char path[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("KALIBRIX_PORT_TRACE", path, sizeof path);
        if (length > 0 && length < sizeof path) {
            traceFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
    }
    return traceFile;
}

} // namespace

extern "C" __declspec(dllexport) void __stdcall Out32(short port, short data) {
    const unsigned short address = static_cast<unsigned short>(port);
    const unsigned char value = static_cast<unsigned char>(data);
    EnterCriticalSection(&traceLock);
    lastByte[address] = value;
    HANDLE file = TraceFile();
    if (file != INVALID_HANDLE_VALUE) {
        char line[64];
        int length = std::snprintf(line, sizeof line, "%lld %u %u\r\n", MicrosecondsNow(),
                                   static_cast<unsigned>(address), static_cast<unsigned>(value));
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    }
    LeaveCriticalSection(&traceLock);
}

extern "C" __declspec(dllexport) short __stdcall Inp32(short port) {
#if defined(STANDIN_NO_PORT)
    static_cast<void>(port);
    return 0xFF;
#else
    EnterCriticalSection(&traceLock);
    const short value = lastByte[static_cast<unsigned short>(port)];
    LeaveCriticalSection(&traceLock);
    return value;
#endif
}

extern "C" __declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen() {
#if defined(STANDIN_DRIVER_CLOSED)
    return FALSE;
#else
    return TRUE;
#endif
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&traceLock);
        QueryPerformanceFrequency(&counterFrequency);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary (not at process exit): give the trace handle back.
        if (traceFile != INVALID_HANDLE_VALUE) {
            CloseHandle(traceFile);
        }
        DeleteCriticalSection(&traceLock);
    }
    return TRUE;
}
