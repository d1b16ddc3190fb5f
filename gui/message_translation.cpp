// The message translation: a flat switch over the messages of every numbered window, each
// handed to a helper that queues a window-level event or makes a pending one.
#include "gui/message_translation.h"

#include "gui/event_queue.h"
#include "gui/focus_cycling.h"
#include "gui/gadgets.h"
#include "gui/layer_posts.h"
#include "gui/message_gate.h"
#include "gui/sizing_tracker.h"
#include "gui/window_table.h"

namespace {

// The numbered window that a message belongs to: the window itself or its nearest ancestor
// with a window number.
struct OwnerWindow {
    intptr_t number; // -1 for none
    HWND handle;
    WindowRecord* record;
};

OwnerWindow FindOwner(HWND window) {
    for (HWND w = window; w; w = GetParent(w)) {
        const intptr_t number = WindowNumberOf(w);
        if (number != -1) {
            return {number, w, FindWindowRecord(number)};
        }
    }
    return {-1, nullptr, nullptr};
}

WindowCallback CallbackFor(const OwnerWindow& owner, const EventState* state) {
    if (owner.record && owner.record->callback) {
        return owner.record->callback;
    }
    return state ? state->callback : nullptr;
}

BOOL CALLBACK SendColourChange(HWND child, LPARAM) {
    SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

// The close box only reports: the application decides whether the window goes.
LRESULT TranslateMoveOrClose(const OwnerWindow& owner, UINT message) {
    if (owner.number != -1) {
        QueueEvent(static_cast<int32_t>(message), owner.number);
    }
    return 0;
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

LRESULT TranslateActivate(const OwnerWindow& owner, WPARAM wParam) {
    if (LOWORD(wParam) != WA_INACTIVE) {
        QueueEvent(EVENT_WINDOW_ACTIVATED, owner.number);
    }
    return 1;
}

LRESULT TranslateEraseBackground(const OwnerWindow& owner, HWND window, WPARAM wParam) {
    const intptr_t number = owner.number;
    WindowRecord* record = owner.record;
    HDC context = reinterpret_cast<HDC>(wParam);
    if (record && record->backgroundBrush) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(context, &client, record->backgroundBrush);
        QueueEvent(EVENT_REPAINT, number);
        return 1;
    }
    if (record && window == record->handle && record->eraseHook) {
        LRESULT result = record->eraseHook(context, window);
        QueueEvent(EVENT_REPAINT, number);
        return result;
    }
    QueueEvent(EVENT_REPAINT, number);
    return NOT_HANDLED;
}

LRESULT TranslateColourChange(const OwnerWindow& owner, HWND window) {
    if (owner.record && !owner.record->mdiClient) {
        EnumChildWindows(window, SendColourChange, 0);
    }
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

// The gate lets a notification through only from a gadget of ours. The header is read anew: a
// callback has run since.
LRESULT TranslateNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    return DispatchGadgetMessage(NotificationSender(lParam), window, WM_NOTIFY, wParam, lParam);
}

// The gate lets a control's command through only from a gadget of ours or our command bar.
LRESULT TranslateCommand(EventState* state, HWND window, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    const int32_t code = HIWORD(wParam);
    const int32_t command = LOWORD(wParam);
    if (control) {
        const intptr_t identifier = GetWindowLongPtrA(control, GWLP_ID);
        if (DispatchGadgetMessage(control, window, WM_COMMAND, wParam, lParam) != NOT_HANDLED) {
            return 0;
        }
        state->type = code;
        if (identifier != COMMAND_BAR_ID) {
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

// The message a control's kind answers: the control is in lParam.
LRESULT ForwardToGadget(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchGadgetMessage(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam);
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

LRESULT TranslateNotifyClick(EventState* state, WPARAM wParam, LPARAM lParam) {
    state->gadget = static_cast<intptr_t>(wParam);
    const int32_t type = NotifyClickType(lParam);
    if (type >= 0) {
        state->pendingEvent = EVENT_NOTIFY_CLICK;
        state->type = type;
    } else {
        state->pendingEvent = 0;
    }
    return 0;
}

// Queued rather than pending: a modal loop that dispatches it leaves it for the application's
// next wait, where a pending event would be overwritten or dropped.
LRESULT TranslateApplicationEvent(const OwnerWindow& owner, WPARAM wParam, LPARAM lParam) {
    if (owner.number != -1) {
        QueueApplicationEvent(owner.number, static_cast<intptr_t>(wParam),
                              static_cast<intptr_t>(lParam));
    }
    return 0;
}

LRESULT TranslateFocusNotice(EventState* state, WPARAM wParam, LPARAM lParam) {
    state->pendingEvent = EVENT_GADGET;
    state->gadget = static_cast<intptr_t>(wParam);
    state->type = static_cast<int32_t>(lParam);
    return 0;
}

// A value that is no payload the layer posted to this window with this message (one the program
// sent itself, or a payload already taken) makes no event. The payload the application holds
// stays until the next wait, also when a nested message loop brings the next one.
LRESULT TranslatePayload(EventState* state, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
    void* payload = reinterpret_cast<void*>(lParam);
    if (!TakeEventPayload(window, message, wParam, payload)) {
        return 0;
    }
    if (message == MSG_GADGET_DATA) {
        SetPendingPayload(state, EVENT_GADGET_DATA, payload);
        state->gadget = static_cast<intptr_t>(wParam);
    } else {
        SetPendingPayload(state, EVENT_WINDOW_DATA, payload);
    }
    return 0;
}

} // namespace

LRESULT TranslateWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = TrackSizing(window, message, wParam, lParam);
    if (result != NOT_HANDLED) {
        return result;
    }

    OwnerWindow owner = FindOwner(window);
    EventState* state = CurrentEventState();
    if (WindowCallback callback = CallbackFor(owner, state)) {
        result = callback(window, message, wParam, lParam);
        if (result != PASS_ON) {
            return result;
        }
        // The callback may have closed or moved windows.
        owner = FindOwner(window);
    }
    if (!state) {
        return NOT_HANDLED;
    }
    state->window = owner.number;

    switch (message) {
    case WM_MOVE:
    case WM_CLOSE:
        return TranslateMoveOrClose(owner, message);
    case WM_SIZE:
        return TranslateSize(owner, window, wParam);
    case WM_ACTIVATE:
        return TranslateActivate(owner, wParam);
    case WM_ERASEBKGND:
        return TranslateEraseBackground(owner, window, wParam);
    case WM_SYSCOLORCHANGE:
        return TranslateColourChange(owner, window);
    case WM_GETMINMAXINFO:
        return TranslateMinMaxInfo(owner, lParam);
    case WM_NOTIFY:
        return TranslateNotify(window, wParam, lParam);
    case WM_COMMAND:
        return TranslateCommand(state, window, wParam, lParam);
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case MSG_GADGET_FORWARD:
        return ForwardToGadget(window, message, wParam, lParam);
    case MSG_NOTIFY_CLICK:
        PostLayerMessage(window, MSG_NOTIFY_CLICK_POSTED, wParam, lParam);
        return 0;
    case MSG_NOTIFY_CLICK_POSTED:
        return TranslateNotifyClick(state, wParam, lParam);
    case MSG_APPLICATION_EVENT:
        return TranslateApplicationEvent(owner, wParam, lParam);
    case GADGET_FOCUS_NOTICE:
        return TranslateFocusNotice(state, wParam, lParam);
    case MSG_WINDOW_DATA:
    case MSG_GADGET_DATA:
        return TranslatePayload(state, window, message, wParam, lParam);
    default:
        return NOT_HANDLED;
    }
}
