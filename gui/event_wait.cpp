// The event queue, the event wait and the message translation of every numbered window.
#include "gui/event_wait.h"

#include <cstring>

#include "gui/focus_cycling.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "gui/own_messages.h"
#include "gui/sizing_tracker.h"
#include "runtime/memory_heaps.h"

namespace {

void* eventStateRecord = nullptr;

const char MDI_GADGET_PROPERTY[] = "GX_MDI_Gadget";

// PeekMessage with removal and without yielding.
constexpr UINT PEEK_REMOVE_NO_YIELD = PM_REMOVE | PM_NOYIELD;
constexpr DWORD WAKE_ON_ALL_INPUT = 511;
constexpr UINT EM_GETOPTIONS_MESSAGE = 1102;
constexpr LRESULT ECO_READONLY_OPTION = 0x800;

bool KeyDown(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

// The pending event, which the wait returns now. A data event's payload passes to the
// application, which holds it until the next wait; any other pending payload lost its event to a
// later message of the same dispatch.
int32_t TakePendingEvent(EventState* state) {
    const int32_t event = state->pendingEvent;
    state->pendingEvent = 0;
    if (event == EVENT_WINDOW_DATA || event == EVENT_GADGET_DATA) {
        state->payload = state->pendingPayload;
    } else {
        FreeEventPayloadBlocks(state->pendingPayload);
    }
    state->pendingPayload = nullptr;
    return event;
}

// The numbered window that a message belongs to: the window itself or its nearest ancestor
// with a window number.
struct OwnerWindow {
    intptr_t number; // -1 for none
    HWND handle;
    WindowRecord* record;
};

OwnerWindow FindOwner(HWND window) {
    OwnerWindow owner = {-1, nullptr, nullptr};
    for (HWND w = window; w; w = GetParent(w)) {
        intptr_t value = reinterpret_cast<intptr_t>(GetPropA(w, WINDOW_ID_PROPERTY));
        if (value != 0) {
            owner.number = value - 1;
            owner.handle = w;
            owner.record = FindWindowRecord(owner.number);
            break;
        }
    }
    return owner;
}

BOOL CALLBACK SendColourChange(HWND child, LPARAM) {
    SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

LRESULT TranslateSize(const OwnerWindow& owner, HWND window, WPARAM wParam) {
    const intptr_t number = owner.number;
    if (!owner.record || window != owner.handle) {
        return 1;
    }
    switch (wParam) {
    case SIZE_RESTORED:
        if (owner.record->minOrMax) {
            owner.record->minOrMax = 0;
            QueueEvent(EVENT_WINDOW_RESTORED, number);
        }
        QueueEvent(EVENT_WINDOW_SIZED, number);
        break;
    case SIZE_MINIMIZED:
        owner.record->minOrMax = 1;
        QueueEvent(EVENT_WINDOW_MINIMIZED, number);
        break;
    case SIZE_MAXIMIZED:
        owner.record->minOrMax = 1;
        QueueEvent(EVENT_WINDOW_MAXIMIZED, number);
        QueueEvent(EVENT_WINDOW_SIZED, number);
        break;
    default:
        QueueEvent(EVENT_WINDOW_SIZED, number);
        break;
    }
    return 0;
}

LRESULT TranslateEraseBackground(const OwnerWindow& owner, HWND window, WPARAM wParam) {
    const intptr_t number = owner.number;
    WindowRecord* record = owner.record;
    if (record && record->backgroundBrush) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, record->backgroundBrush);
        QueueEvent(EVENT_REPAINT, number);
        return 1;
    }
    if (record && window == record->handle && record->eraseHook) {
        LRESULT result = record->eraseHook(reinterpret_cast<HDC>(wParam), window);
        QueueEvent(EVENT_REPAINT, number);
        return result;
    }
    QueueEvent(EVENT_REPAINT, number);
    return NOT_HANDLED;
}

LRESULT TranslateMinMaxInfo(const OwnerWindow& owner, LPARAM lParam) {
    WindowRecord* record = owner.record;
    if (!record) {
        return NOT_HANDLED;
    }
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
    if (record->minWidth) {
        info->ptMinTrackSize.x = record->minWidth;
    }
    if (record->minHeight) {
        info->ptMinTrackSize.y = record->minHeight;
    }
    if (record->maxWidth) {
        info->ptMaxTrackSize.x = record->maxWidth;
    }
    if (record->maxHeight) {
        info->ptMaxTrackSize.y = record->maxHeight;
    }
    return 0;
}

// A control's message goes to its kind only from one of this window's own gadgets.
LRESULT DispatchOwnGadgetMessage(HWND window, HWND control, UINT message, WPARAM wParam,
                                 LPARAM lParam) {
    if (!IsOwnControl(window, control, true)) {
        return NOT_HANDLED;
    }
    return DispatchGadgetMessage(control, window, message, wParam, lParam);
}

LRESULT TranslateCommand(EventState* state, HWND window, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    int32_t code = HIWORD(wParam);
    int32_t command = LOWORD(wParam);
    if (control) {
        const intptr_t identifier = GetWindowLongPtrA(control, GWLP_ID);
        const bool commandBar = identifier == COMMAND_BAR_ID;
        // Another process can name any window as the sender, one of its own with our numbers.
        if (!IsOwnControl(window, control, !commandBar)) {
            return 0;
        }
        if (DispatchGadgetMessage(control, window, WM_COMMAND, wParam, lParam) != NOT_HANDLED) {
            return 0;
        }
        state->type = code;
        if (!commandBar) {
            state->pendingEvent = EVENT_GADGET;
            state->gadget = identifier;
        } else {
            state->pendingEvent = EVENT_MENU;
            state->gadget = command;
        }
        return 0;
    }
    // Only accelerators move the focus: a menu item with the same identifier is a command.
    if (code != 0 && command == CMD_FOCUS_NEXT) {
        CycleFocus(0);
        return 0;
    }
    if (code != 0 && command == CMD_FOCUS_PREVIOUS) {
        CycleFocus(1);
        return 0;
    }
    state->pendingEvent = EVENT_MENU;
    state->gadget = command;
    return 0;
}

// A value that is no payload the layer posted to this window with this message (a stray or
// hostile message, or a payload already taken) makes no event. The payload the application holds
// stays until the next wait, also when a nested message loop brings the next one.
LRESULT TranslatePayload(EventState* state, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
    void* payload = reinterpret_cast<void*>(lParam);
    if (!TakeEventPayload(window, message, wParam, payload)) {
        return 0;
    }
    // One not yet returned by a wait is replaced: free it rather than lose it.
    FreeEventPayloadBlocks(state->pendingPayload);
    state->pendingPayload = payload;
    if (message == MSG_GADGET_DATA) {
        state->pendingEvent = EVENT_GADGET_DATA;
        state->gadget = static_cast<intptr_t>(wParam);
    } else {
        state->pendingEvent = EVENT_WINDOW_DATA;
    }
    return 0;
}

int32_t NotifyClickType(LPARAM mouseMessage) {
    switch (mouseMessage) {
    case WM_LBUTTONDOWN:
        return 0;
    case WM_RBUTTONDOWN:
        return 1;
    case WM_LBUTTONDBLCLK:
        return 2;
    case WM_RBUTTONDBLCLK:
        return 3;
    default:
        return -1;
    }
}

} // namespace

bool EventStateInit() {
    eventStateRecord = AllocGlobalRecord(sizeof(EventState), nullptr);
    return eventStateRecord != nullptr;
}

EventState* CurrentEventState() {
    if (!eventStateRecord) {
        return nullptr;
    }
    return static_cast<EventState*>(CurrentRecord(eventStateRecord));
}

void SetEventCallback(WindowCallback callback) {
    EventState* state = CurrentEventState();
    if (state) {
        state->callback = callback;
    }
}

void FreeEventPayload() {
    EventState* state = CurrentEventState();
    if (state) {
        FreeEventPayloadBlocks(state->payload);
        state->payload = nullptr;
        FreeEventPayloadBlocks(state->pendingPayload);
        state->pendingPayload = nullptr;
    }
}

namespace {

// Only the newest entry is compared: a burst of one message queues one event, which keeps the
// newest detail (the latest figures of a report that is sent again and again).
void AppendEvent(int32_t event, intptr_t window, intptr_t gadget, intptr_t detail = 0) {
    EventState* state = CurrentEventState();
    if (!state) {
        return;
    }
    QueuedEvent* tail = state->queueTail;
    if (tail && tail->event == event && tail->window == window && tail->gadget == gadget) {
        tail->detail = detail;
        return;
    }
    QueuedEvent* entry = static_cast<QueuedEvent*>(MainHeapAlloc(sizeof(QueuedEvent)));
    if (!entry) {
        return;
    }
    entry->next = nullptr;
    entry->event = event;
    entry->window = window;
    entry->gadget = gadget;
    entry->detail = detail;
    if (tail) {
        tail->next = entry;
    } else {
        state->queueHead = entry;
    }
    state->queueTail = entry;
}

// The oldest queued event, which the wait returns now; a pending event set outside a wait goes.
int32_t TakeQueuedEvent(EventState* state) {
    QueuedEvent* entry = state->queueHead;
    state->window = entry->window;
    if (entry->event == EVENT_APPLICATION) {
        state->gadget = entry->gadget;
        state->detail = entry->detail;
    }
    state->pendingEvent = 0;
    FreeEventPayloadBlocks(state->pendingPayload);
    state->pendingPayload = nullptr;
    state->queueHead = entry->next;
    if (!state->queueHead) {
        state->queueTail = nullptr;
    }
    const int32_t event = entry->event;
    MainHeapFree(entry);
    return event;
}

} // namespace

void QueueEvent(int32_t event, intptr_t window) {
    AppendEvent(event, window, 0);
}

bool PostApplicationEvent(HWND window, intptr_t value, intptr_t detail) {
    return PostLayerMessage(window, MSG_APPLICATION_EVENT, static_cast<WPARAM>(value),
                            static_cast<LPARAM>(detail));
}

intptr_t CurrentEventGadget() {
    EventState* state = CurrentEventState();
    return state ? state->gadget : 0;
}

intptr_t CurrentEventDetail() {
    EventState* state = CurrentEventState();
    return state ? state->detail : 0;
}

HACCEL AcceleratorFor(HWND activeWindow) {
    if (KeyDown(VK_TAB) && !KeyDown(VK_CONTROL) && !KeyDown(VK_SHIFT) && !KeyDown(VK_MENU)) {
        // An editable rich-text control takes Tab as input.
        HWND focus = GetFocus();
        char className[5] = {0};
        if (focus && GetClassNameA(focus, className, sizeof className) > 0 &&
            std::strncmp(className, "Rich", 4) == 0) {
            LRESULT options = SendMessageA(focus, EM_GETOPTIONS_MESSAGE, 0, 0);
            if (!(options & ECO_READONLY_OPTION)) {
                return nullptr;
            }
        }
    }
    if (!activeWindow) {
        return nullptr;
    }
    intptr_t value = reinterpret_cast<intptr_t>(GetPropA(activeWindow, WINDOW_ID_PROPERTY));
    if (value == 0) {
        return nullptr;
    }
    WindowRecord* record = FindWindowRecord(value - 1);
    return record ? record->acceleratorTable : nullptr;
}

namespace {

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

} // namespace

int32_t WaitEvent(int32_t timeout) {
    EventState* state = CurrentEventState();
    if (!state) {
        return EVENT_NONE;
    }
    // The application's hold on the last data event's payload ends here.
    FreeEventPayloadBlocks(state->payload);
    state->payload = nullptr;
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
        // A message the queue check dropped reads as WM_NULL; the layer's own numbers are
        // events, never raw messages. Neither is anything to return.
        const UINT number = message.message;
        if (number != WM_NULL && (number < LAYER_NUMBERS_FIRST || number > LAYER_NUMBERS_LAST)) {
            state->messageWParam = message.wParam;
            state->messageLParam = message.lParam;
            return static_cast<int32_t>(number);
        }
        if (timeout != -1 && !state->queueHead) {
            return EVENT_NONE;
        }
    }
}

LRESULT TranslateWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = TrackSizing(window, message, wParam, lParam);
    if (result != NOT_HANDLED) {
        return result;
    }

    OwnerWindow owner = window ? FindOwner(window) : OwnerWindow{-1, nullptr, nullptr};
    EventState* state = CurrentEventState();

    WindowCallback callback = owner.record ? owner.record->callback : nullptr;
    if (!callback && state) {
        callback = state->callback;
    }
    if (callback) {
        result = callback(window, message, wParam, lParam);
        if (result != PASS_ON) {
            return result;
        }
        // The callback may have closed or moved windows.
        owner = window ? FindOwner(window) : OwnerWindow{-1, nullptr, nullptr};
    }
    if (!state) {
        return NOT_HANDLED;
    }

    const intptr_t number = owner.number;
    state->window = number;

    switch (message) {
    case WM_MOVE:
    case WM_CLOSE:
        // The close box only reports: the application decides whether the window goes.
        if (owner.number != -1) {
            QueueEvent(static_cast<int32_t>(message), number);
        }
        return 0;
    case WM_SIZE:
        return TranslateSize(owner, window, wParam);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            QueueEvent(EVENT_WINDOW_ACTIVATED, number);
        }
        return 1;
    case WM_ERASEBKGND:
        return TranslateEraseBackground(owner, window, wParam);
    case WM_SYSCOLORCHANGE:
        if (owner.record && !owner.record->mdiClient) {
            EnumChildWindows(window, SendColourChange, 0);
        }
        return NOT_HANDLED;
    case WM_GETMINMAXINFO:
        return TranslateMinMaxInfo(owner, lParam);
    case WM_NOTIFY:
        return DispatchOwnGadgetMessage(window, NotificationSender(lParam), message, wParam,
                                        lParam);
    case WM_COMMAND:
        return TranslateCommand(state, window, wParam, lParam);
    case MSG_GADGET_FORWARD:
        if (!TakeLayerMessage(window, message, wParam, lParam)) {
            return 0;
        }
        return DispatchOwnGadgetMessage(window, reinterpret_cast<HWND>(lParam), message, wParam,
                                        lParam);
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return DispatchOwnGadgetMessage(window, reinterpret_cast<HWND>(lParam), message, wParam,
                                        lParam);
    case MSG_NOTIFY_CLICK:
        PostLayerMessage(window, MSG_NOTIFY_CLICK_POSTED, wParam, lParam);
        return 0;
    case MSG_NOTIFY_CLICK_POSTED: {
        if (!TakeLayerMessage(window, message, wParam, lParam)) {
            return 0;
        }
        state->gadget = static_cast<intptr_t>(wParam);
        int32_t type = NotifyClickType(lParam);
        if (type >= 0) {
            state->pendingEvent = EVENT_NOTIFY_CLICK;
            state->type = type;
        } else {
            state->pendingEvent = 0;
        }
        return 0;
    }
    case MSG_APPLICATION_EVENT:
        // Queued rather than pending: a modal loop that dispatches it leaves it for the
        // application's next wait, where a pending event would be overwritten or dropped.
        if (TakeLayerMessage(window, message, wParam, lParam) && number != -1) {
            AppendEvent(EVENT_APPLICATION, number, static_cast<intptr_t>(wParam),
                        static_cast<intptr_t>(lParam));
        }
        return 0;
    case GADGET_FOCUS_NOTICE:
        if (!TakeLayerMessage(window, message, wParam, lParam)) {
            return 0;
        }
        state->pendingEvent = EVENT_GADGET;
        state->gadget = static_cast<intptr_t>(wParam);
        state->type = static_cast<int32_t>(lParam);
        return 0;
    case MSG_WINDOW_DATA:
    case MSG_GADGET_DATA:
        return TranslatePayload(state, window, message, wParam, lParam);
    default:
        return NOT_HANDLED;
    }
}

LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Before any callback sees it: posted ones the queue check has dropped already.
    if (IsForgedSentMessage(message)) {
        return 0;
    }
    LRESULT result = TranslateWindowMessage(window, message, wParam, lParam);
    // Whatever the callback made of it: the layer's posts to a window that goes are given back.
    if (message == WM_NCDESTROY) {
        GiveBackWindowMessages(window);
    }
    if (message != WM_SIZE) {
        HWND client = static_cast<HWND>(GetPropA(window, MDI_GADGET_PROPERTY));
        if (client) {
            if (result == NOT_HANDLED || message == WM_SETFOCUS || message == WM_MENUCHAR) {
                return DefFrameProcA(window, client, message, wParam, lParam);
            }
            if (message == WM_COMMAND && lParam == 0) {
                return DefFrameProcA(window, client, WM_COMMAND, wParam, 0);
            }
            return result;
        }
    }
    SetLastError(0);
    if (result == NOT_HANDLED) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return result;
}
