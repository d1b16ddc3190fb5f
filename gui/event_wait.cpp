// The event wait: one message at a time through the accelerators and the window procedures,
// until an event comes of it.
#include "gui/event_wait.h"

#include <cstring>
#include "gui/window_table.h"

namespace {

constexpr UINT PEEK_REMOVE_NO_YIELD = PM_REMOVE | PM_NOYIELD;
constexpr DWORD WAKE_ON_ALL_INPUT = 511;
constexpr UINT EM_GETOPTIONS_MESSAGE = 1102;
constexpr LRESULT ECO_READONLY_OPTION = 0x800;

bool KeyDown(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

// An editable rich-text control has the focus: it takes Tab as input.
bool FocusTakesTab() {
    HWND focus = GetFocus();
    char className[5] = {0};
    if (!focus || GetClassNameA(focus, className, sizeof className) <= 0 ||
        std::strncmp(className, "Rich", 4) != 0) {
        return false;
    }
    const LRESULT options = SendMessageA(focus, EM_GETOPTIONS_MESSAGE, 0, 0);
    return (options & ECO_READONLY_OPTION) == 0;
}

// One message for the thread, as the wait's timeout asks; false when none came.
bool TakeMessage(MSG* message, int32_t timeout) {
    if (timeout == -1) {
        // A quit message is handled like any other and comes back as its own number.
        return GetMessageA(message, nullptr, 0, 0) != -1;
    }
    if (PeekMessageA(message, nullptr, 0, 0, PEEK_REMOVE_NO_YIELD)) {
        return true;
    }
    if (timeout == 0) {
        return false;
    }
    DWORD woken = MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout),
                                            WAKE_ON_ALL_INPUT);
    return woken != WAIT_TIMEOUT && PeekMessageA(message, nullptr, 0, 0, PEEK_REMOVE_NO_YIELD);
}

// A message the gate dropped reads as WM_NULL, and the layer's own numbers are events: neither
// comes back raw.
bool ReturnsRaw(UINT message) {
    return message != WM_NULL && (message < LAYER_NUMBERS_FIRST || message > LAYER_NUMBERS_LAST);
}

} // namespace

HACCEL AcceleratorFor(HWND activeWindow) {
    if (KeyDown(VK_TAB) && !KeyDown(VK_CONTROL) && !KeyDown(VK_SHIFT) && !KeyDown(VK_MENU) &&
        FocusTakesTab()) {
        return nullptr;
    }
    WindowRecord* record = FindWindowRecord(WindowNumberOf(activeWindow));
    return record ? record->acceleratorTable : nullptr;
}

int32_t WaitEvent(int32_t timeout) {
    EventState* state = CurrentEventState();
    if (!state) {
        return EVENT_NONE;
    }
    ReleaseHeldPayload(state);
    state->type = -1;
    state->detail = 0;

    for (;;) {
        // Queued events come out before any further message is looked at, also those that a
        // message of the layer's own queued in the last pass.
        if (state->queueHead) {
            return TakeQueuedEvent(state);
        }
        MSG message = {};
        if (!TakeMessage(&message, timeout)) {
            return EVENT_NONE;
        }
        HWND active = GetActiveWindow();
        HACCEL table = AcceleratorFor(active);
        if (!table || !TranslateAcceleratorA(active, table, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }

        // The window procedure may have replaced the state's fields, not the record itself.
        state = CurrentEventState();
        if (state->pendingEvent != 0) {
            return TakePendingEvent(state);
        }
        if (ReturnsRaw(message.message)) {
            state->messageWParam = message.wParam;
            state->messageLParam = message.lParam;
            return static_cast<int32_t>(message.message);
        }
        if (timeout != -1 && !state->queueHead) {
            return EVENT_NONE;
        }
    }
}
