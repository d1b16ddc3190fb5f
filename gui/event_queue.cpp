// The event queue and the pending event of the EventState.
#include "gui/event_queue.h"

#include "gui/layer_posts.h"
#include "runtime/memory_heaps.h"

namespace {

GlobalRecordOf<EventState> eventStateRecord;

// Only the newest entry is compared: a burst of one message queues one event, which keeps the
// newest detail (the latest figures of a report that is sent again and again).
void AppendEvent(int32_t event, intptr_t window, intptr_t gadget, intptr_t detail) {
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

// A pending payload whose event a later message of the same dispatch replaced.
void DropPendingPayload(EventState* state) {
    FreeEventPayloadBlocks(state->pendingPayload);
    state->pendingPayload = nullptr;
}

} // namespace

bool EventStateInit() {
    return eventStateRecord.Init();
}

EventState* CurrentEventState() {
    return eventStateRecord.Current();
}

intptr_t CurrentEventGadget() {
    EventState* state = CurrentEventState();
    return state ? state->gadget : 0;
}

intptr_t CurrentEventDetail() {
    EventState* state = CurrentEventState();
    return state ? state->detail : 0;
}

void SetEventCallback(WindowCallback callback) {
    EventState* state = CurrentEventState();
    if (state) {
        state->callback = callback;
    }
}

void QueueEvent(int32_t event, intptr_t window) {
    AppendEvent(event, window, 0, 0);
}

void QueueApplicationEvent(intptr_t window, intptr_t value, intptr_t detail) {
    AppendEvent(EVENT_APPLICATION, window, value, detail);
}

bool PostApplicationEvent(HWND window, intptr_t value, intptr_t detail) {
    return PostLayerMessage(window, MSG_APPLICATION_EVENT, static_cast<WPARAM>(value),
                            static_cast<LPARAM>(detail));
}

int32_t TakeQueuedEvent(EventState* state) {
    QueuedEvent* entry = state->queueHead;
    state->window = entry->window;
    if (entry->event == EVENT_APPLICATION) {
        state->gadget = entry->gadget;
        state->detail = entry->detail;
    }
    state->pendingEvent = 0;
    DropPendingPayload(state);
    state->queueHead = entry->next;
    if (!state->queueHead) {
        state->queueTail = nullptr;
    }
    const int32_t event = entry->event;
    MainHeapFree(entry);
    return event;
}

// A data event's payload passes to the application, which holds it until the next wait.
int32_t TakePendingEvent(EventState* state) {
    const int32_t event = state->pendingEvent;
    state->pendingEvent = 0;
    if (event == EVENT_WINDOW_DATA || event == EVENT_GADGET_DATA) {
        state->payload = state->pendingPayload;
        state->pendingPayload = nullptr;
    } else {
        DropPendingPayload(state);
    }
    return event;
}

void SetPendingPayload(EventState* state, int32_t event, void* payload) {
    // One not yet returned by a wait is replaced: free it rather than lose it.
    DropPendingPayload(state);
    state->pendingPayload = payload;
    state->pendingEvent = event;
}

void ReleaseHeldPayload(EventState* state) {
    FreeEventPayloadBlocks(state->payload);
    state->payload = nullptr;
}

void FreeEventPayload() {
    EventState* state = CurrentEventState();
    if (state) {
        ReleaseHeldPayload(state);
        DropPendingPayload(state);
    }
}
