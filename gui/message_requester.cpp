#include "gui/message_requester.h"

#include "runtime/threads.h"

namespace {

// Shared by every thread that shows a box; newest entry first. The list has a lock of its own
// because drives show their completion box from their own threads.
NodeList DisabledWindowList = nullptr;
// Made on first use, since a box may be shown before (or without) the layer's start-up.
FirstUseLock listLock = {};

void LockList() {
    FirstUseLockEnter(&listLock);
}

void UnlockList() {
    FirstUseLockLeave(&listLock);
}

struct DisableWalk {
    DWORD threadId;
};

void AddDisabledWindow(DWORD threadId, HWND window) {
    LockList();
    auto* entry =
        static_cast<DisabledWindow*>(NodeListAdd(&DisabledWindowList, sizeof(DisabledWindow)));
    if (entry != nullptr) {
        entry->threadId = threadId;
        entry->window = window;
    }
    UnlockList();
    // Without an entry nobody would enable the window again: give it back at once.
    if (entry == nullptr) {
        EnableWindow(window, TRUE);
    }
}

BOOL CALLBACK DisableOne(HWND window, LPARAM context) {
    const DisableWalk* walk = reinterpret_cast<const DisableWalk*>(context);
    if (GetWindowThreadProcessId(window, nullptr) == walk->threadId && IsWindowVisible(window) &&
        IsWindowEnabled(window) && window != GetForegroundWindow()) {
        EnableWindow(window, FALSE);
        AddDisabledWindow(walk->threadId, window);
    }
    return TRUE;
}

// Takes the newest entry of the thread out of the list; null when it has none left. The window
// is enabled outside the lock: EnableWindow sends messages that may show another box.
HWND TakeDisabledWindow(DWORD threadId) {
    HWND window = nullptr;
    LockList();
    for (void* payload = NodeListFirst(DisabledWindowList); payload != nullptr;) {
        void* next = NodeListNext(payload);
        auto* entry = static_cast<DisabledWindow*>(payload);
        if (entry->threadId == threadId) {
            window = entry->window;
            NodeListRemove(&DisabledWindowList, payload);
            break;
        }
        payload = next;
    }
    UnlockList();
    return window;
}

} // namespace

int ShowMessage(const char* title, const char* text, UINT flags) {
    const DWORD threadId = GetCurrentThreadId();
    DisableWalk walk = {threadId};
    EnumWindows(DisableOne, reinterpret_cast<LPARAM>(&walk));

    HWND owner = GetForegroundWindow();
    if (owner != nullptr) {
        DWORD processId = 0;
        GetWindowThreadProcessId(owner, &processId);
        if (processId != GetCurrentProcessId()) {
            owner = nullptr;
        }
    }

    const int answer = MessageBoxA(owner, text, title, flags);

    // Also the entries of an outer box of this thread: a nested box gives back everything.
    for (HWND window = TakeDisabledWindow(threadId); window != nullptr;
         window = TakeDisabledWindow(threadId)) {
        EnableWindow(window, TRUE);
    }
    return answer;
}

int DisabledWindowCount() {
    int count = 0;
    LockList();
    for (void* payload = NodeListFirst(DisabledWindowList); payload != nullptr;
         payload = NodeListNext(payload)) {
        ++count;
    }
    UnlockList();
    return count;
}
