#include "tests/support/layers.h"

#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "runtime/libraries.h"
#include "runtime/memory_heaps.h"
#include "runtime/string_workspace.h"
#include "runtime/threads.h"

namespace testsupport {

bool StartRuntime() {
    // Each of these finds itself started on a second call.
    return MainHeapCreate() && WorkspaceInit() && NodeHeapCreate() && LibrariesInit() &&
           ThreadsInit();
}

bool StartWindowLayer() {
    // The window layer's tables and hook are made once per program.
    static const bool started = MainHeapCreate() && WorkspaceInit() && NodeHeapCreate() &&
                                InitWindowLayer() && InitGadgetLayer() && LibrariesInit() &&
                                ThreadsInit();
    return started;
}

HANDLE DuplicateThreadHandle(int32_t number) {
    HANDLE original = ThreadFindRunning(number);
    HANDLE copy = nullptr;
    if (original != nullptr) {
        DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
    return copy;
}

std::string WindowsPath(const char* path) {
    std::string result = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char& c : result) {
        if (c == '/') {
            c = '\\';
        }
    }
    return result;
}

} // namespace testsupport
