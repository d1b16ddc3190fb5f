#include "tests/support/message_pump.h"

namespace testsupport {

namespace {

// Dispatches what is queued now; true when there was anything.
bool DispatchQueued() {
    bool any = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        any = true;
    }
    return any;
}

} // namespace

void PumpMessages(DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        DispatchQueued();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        DispatchQueued();
        if (condition()) {
            return true;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) {
            return condition();
        }
        DWORD wait = milliseconds - elapsed;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait < 10 ? wait : 10, QS_ALLINPUT);
    }
}

void PumpUntilQuiet(DWORD quiet, DWORD limit) {
    DWORD start = GetTickCount();
    DWORD lastActivity = start;
    for (;;) {
        if (DispatchQueued()) {
            lastActivity = GetTickCount();
        }
        DWORD now = GetTickCount();
        if (now - lastActivity >= quiet || now - start >= limit) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

} // namespace testsupport
