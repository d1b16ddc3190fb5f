// A library for the foreign-call tests: functions of both calling conventions that note the
// words they receive, so a test can check count, order and values after a call by name.
#include <windows.h>
#include <cstdint>

namespace {

struct Probe {
    int calls;
    int count;
    intptr_t words[20];
};

Probe probe;

intptr_t Note(int count, const intptr_t* words) {
    ++probe.calls;
    probe.count = count;
    uintptr_t sum = 0;
    for (int i = 0; i < count; ++i) {
        probe.words[i] = words[i];
        sum = sum * 3 + static_cast<uintptr_t>(words[i]);
    }
    return static_cast<intptr_t>(sum + 1000);
}

} // namespace

#define PROBE_EXPORT extern "C" __declspec(dllexport)

PROBE_EXPORT Probe* __cdecl ProbeState() {
    return &probe;
}

PROBE_EXPORT intptr_t __stdcall Std0() {
    return Note(0, nullptr);
}
PROBE_EXPORT intptr_t __stdcall Std1(intptr_t a) {
    return Note(1, &a);
}
PROBE_EXPORT intptr_t __stdcall Std2(intptr_t a, intptr_t b) {
    const intptr_t words[] = {a, b};
    return Note(2, words);
}
PROBE_EXPORT intptr_t __stdcall Std20(intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4,
                                      intptr_t a5, intptr_t a6, intptr_t a7, intptr_t a8,
                                      intptr_t a9, intptr_t a10, intptr_t a11, intptr_t a12,
                                      intptr_t a13, intptr_t a14, intptr_t a15, intptr_t a16,
                                      intptr_t a17, intptr_t a18, intptr_t a19, intptr_t a20) {
    const intptr_t words[] = {a1,  a2,  a3,  a4,  a5,  a6,  a7,  a8,  a9,  a10,
                              a11, a12, a13, a14, a15, a16, a17, a18, a19, a20};
    return Note(20, words);
}

PROBE_EXPORT intptr_t __cdecl Cdecl0() {
    return Note(0, nullptr);
}
PROBE_EXPORT intptr_t __cdecl Cdecl1(intptr_t a) {
    return Note(1, &a);
}
PROBE_EXPORT intptr_t __cdecl Cdecl2(intptr_t a, intptr_t b) {
    const intptr_t words[] = {a, b};
    return Note(2, words);
}
PROBE_EXPORT intptr_t __cdecl Cdecl20(intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4,
                                      intptr_t a5, intptr_t a6, intptr_t a7, intptr_t a8,
                                      intptr_t a9, intptr_t a10, intptr_t a11, intptr_t a12,
                                      intptr_t a13, intptr_t a14, intptr_t a15, intptr_t a16,
                                      intptr_t a17, intptr_t a18, intptr_t a19, intptr_t a20) {
    const intptr_t words[] = {a1,  a2,  a3,  a4,  a5,  a6,  a7,  a8,  a9,  a10,
                              a11, a12, a13, a14, a15, a16, a17, a18, a19, a20};
    return Note(20, words);
}

// Each unload by FreeLibrary appends the library's file name to an environment variable, which
// outlives the library, so a test sees the order in which copies of it were freed.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return TRUE;
        }
        const char* name = path;
        for (const char* p = path; *p != '\0'; ++p) {
            if (*p == '\\' || *p == '/') {
                name = p + 1;
            }
        }
        char list[1024] = "";
        const DWORD used = GetEnvironmentVariableA("CALL_PROBE_UNLOADED", list, sizeof list);
        if (used >= sizeof list) {
            return TRUE;
        }
        lstrcatA(list, name);
        lstrcatA(list, ";");
        SetEnvironmentVariableA("CALL_PROBE_UNLOADED", list);
    }
    return TRUE;
}
