// The event queue: the process's EventState, with the window-level events queued for the event
// wait, the one event a dispatch leaves pending, and the readers of the current event.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/layer_numbers.h"

// Gadget and window numbers are pointer-sized: a record made with AUTO_NUMBER is numbered by its
// address.
struct QueuedEvent {
    QueuedEvent* next;
    int32_t event;
    intptr_t window; // number of the window the event belongs to
    intptr_t gadget; // an application event's value, current once the wait returns it; else 0
    intptr_t detail; // an application event's detail; else 0
};

struct EventState {
    intptr_t gadget;         // gadget, menu item, command or notice of the current event
    intptr_t window;         // numbered window of the last translated message, -1 for none
    int32_t type;            // the event's type; -1 at the start of every wait
    int32_t pendingEvent;    // written during a dispatch, consumed by the wait; 0 for none
    WPARAM messageWParam;    // of the last message the wait returned raw
    LPARAM messageLParam;    //
    QueuedEvent* queueHead;  // oldest queued event, or null
    QueuedEvent* queueTail;  // newest queued event, or null
    WindowCallback callback; // process-wide user callback; a window's own takes precedence
    void* payload;           // of the data event the wait returned last; freed by the next wait
    void* pendingPayload;    // of the pending data event, until the wait returns it
    intptr_t detail;         // of the application event the wait returned last; else 0
};

// Allocates the process's zero-filled EventState (called by InitWindowLayer); false when the
// heap cannot supply it.
bool EventStateInit();
// The process's EventState (through CurrentRecord); null before EventStateInit.
EventState* CurrentEventState();

// Gadget (or menu item, command, notice) of the current event.
intptr_t CurrentEventGadget();
// The detail of the current event: an application event's second word, else 0.
intptr_t CurrentEventDetail();
// Sets the process-wide user window callback (null removes it).
void SetEventCallback(WindowCallback callback);

// Appends a window-level event unless the newest queued entry is the same event and window.
void QueueEvent(int32_t event, intptr_t window);
// Appends EVENT_APPLICATION with its value and detail; of a burst with one value only the newest
// detail stays.
void QueueApplicationEvent(intptr_t window, intptr_t value, intptr_t detail);
// Posts EVENT_APPLICATION with the value and the detail to a numbered window; any thread may
// call it. The layer made it, so no other process can forge one. It comes in order with the
// window's other events, as a gadget event would, and when a modal loop (a message box) takes
// it, it waits in the event queue for the application's next wait: it is neither handled inside
// that loop nor lost. Of a burst with one value, queued while nothing took events, one entry
// stays, with the newest detail. False when the window is none of the layer's or the post fails.
bool PostApplicationEvent(HWND window, intptr_t value, intptr_t detail = 0);

// For the event wait: the oldest queued event, removed from the queue (the queue must not be
// empty); a pending event set outside a wait goes with it.
int32_t TakeQueuedEvent(EventState* state);
// For the event wait: the pending event, which is cleared.
int32_t TakePendingEvent(EventState* state);
// For the translation: makes a data event pending with its payload, which the state now owns.
void SetPendingPayload(EventState* state, int32_t event, void* payload);
// For the event wait, as it starts: the application's hold on the last data event's payload
// ends, and the payload is freed.
void ReleaseHeldPayload(EventState* state);
// Frees the payloads still held by the EventState (each with the block its sixth word points to).
// Payloads are made and posted through gui/layer_posts.h.
void FreeEventPayload();
