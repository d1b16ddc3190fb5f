// The message requester: a modal message box that disables the calling thread's other top-level
// windows while it is up and enables exactly those again afterwards.
#pragma once

#include <windows.h>
#include "runtime/memory_heaps.h"

// One window disabled around a box, tagged with the thread that disabled it.
struct DisabledWindow {
    DWORD threadId;
    HWND window;
};

// Shows a message box (flags are MB_ values, 0 gives an OK button) and returns the answer of
// MessageBoxA, 0 when the platform shows no box. Any thread may call it.
int ShowMessage(const char* title, const char* text, UINT flags = 0);

// The number of entries in the DisabledWindowList (for tests: it is empty when no box is up).
int DisabledWindowCount();
