// Helpers shared by the runtime and drive tests.
#pragma once

#include <windows.h>
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/libraries.h"
#include "runtime/memory_heaps.h"
#include "runtime/string_workspace.h"
#include "runtime/threads.h"
#include "tests/support/message_pump.h"

// The services in start-up order; each is safe to start again.
inline bool StartRuntime() {
    return MainHeapCreate() && WorkspaceInit() && NodeHeapCreate() && ThreadsInit() &&
           LibrariesInit();
}

// Pumps this thread's queue until the condition holds or the time runs out.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD milliseconds = 5000) {
    return testsupport::PumpUntil(condition, milliseconds);
}

// Pumps for a while without a condition.
inline void PumpFor(DWORD milliseconds) {
    testsupport::PumpMessages(milliseconds);
}

// A text produced into the workspace the way a producer does it; returns its start offset.
inline int32_t ProduceText(const char* text) {
    StringWorkspace* workspace = Workspace();
    const int32_t start = workspace->position;
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    char* out = WorkspaceReserve(length, start);
    std::memcpy(out, text, static_cast<size_t>(length) + 1);
    WorkspaceGiveBack(0);
    return start;
}

// A path the platform can load from: Wine shows the Linux root as drive Z:.
inline std::string WindowsPath(const char* path) {
    std::string result = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char& c : result) {
        if (c == '/') {
            c = '\\';
        }
    }
    return result;
}

// A handle of our own to a registered thread, so its end can be awaited after ThreadKill or
// ThreadCloseAll has closed the registry's handle.
inline HANDLE DuplicateThreadHandle(int32_t number) {
    HANDLE original = ThreadFindRunning(number);
    HANDLE copy = nullptr;
    if (original != nullptr) {
        DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
    return copy;
}
