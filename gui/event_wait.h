// Events: platform window messages become the layer's numbered events, which the event wait
// hands to the application one at a time.
#pragma once

#include <windows.h>
#include <cstdint>

// Result of a layer handler that leaves a message to the platform default.
constexpr LRESULT NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);
// Result of a user window callback that lets the built-in handling go on.
constexpr LRESULT PASS_ON = static_cast<LRESULT>(0xE0E0E0E1u);

// Accelerator commands of Tab and Shift+Tab in every numbered window.
constexpr int CMD_FOCUS_NEXT = 64001;
constexpr int CMD_FOCUS_PREVIOUS = 64002;

// A child control with this identifier is a command bar: its commands count as menu commands.
constexpr int COMMAND_BAR_ID = -10000;

// Event codes. Window-level events carry the numbers of the platform messages behind them, so a
// retrieved message that makes no event comes back under its own number in the same space.
constexpr int32_t EVENT_NONE = 0;
constexpr int32_t EVENT_WINDOW_MOVED = 3;
constexpr int32_t EVENT_WINDOW_SIZED = 5;
constexpr int32_t EVENT_REPAINT = 15;
constexpr int32_t EVENT_CLOSE_WINDOW = 16;
constexpr int32_t EVENT_GADGET = 13100;
constexpr int32_t EVENT_MENU = 13101;
constexpr int32_t EVENT_NOTIFY_CLICK = 13102;
constexpr int32_t EVENT_WINDOW_ACTIVATED = 13104;
constexpr int32_t EVENT_WINDOW_DATA = 13105;
constexpr int32_t EVENT_GADGET_DATA = 13106;
constexpr int32_t EVENT_WINDOW_MINIMIZED = 13107;
constexpr int32_t EVENT_WINDOW_MAXIMIZED = 13108;
constexpr int32_t EVENT_WINDOW_RESTORED = 13109;
// Posted by the application to its own window (PostApplicationEvent); the current gadget is its
// value, and CurrentEventDetail its detail.
constexpr int32_t EVENT_APPLICATION = 13110;

// The layer's private window messages.
constexpr UINT MSG_NOTIFY_CLICK = 12501;        // wParam notice id, lParam mouse message
constexpr UINT MSG_NOTIFY_CLICK_POSTED = 12502; // the same, re-posted
constexpr UINT GADGET_FOCUS_NOTICE = 13103;     // wParam gadget number, lParam event type
constexpr UINT MSG_WINDOW_DATA = 13105;         // lParam payload record
constexpr UINT MSG_GADGET_DATA = 13106;         // wParam gadget number, lParam payload record
constexpr UINT MSG_APPLICATION_EVENT = 13110;   // wParam the value, lParam the detail
constexpr UINT MSG_GADGET_FORWARD = 13120;      // lParam the gadget's window handle

// A user window callback: returns PASS_ON to let the built-in handling go on, anything else
// to answer the message with that result.
using WindowCallback = LRESULT(CALLBACK*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

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

// The next event: timeout -1 waits without limit, 0 only polls, a positive value waits at most
// that many milliseconds. EVENT_NONE when nothing came. A message dropped as forged is no event:
// an endless wait goes on waiting, another ends with EVENT_NONE. The layer's own numbers never
// come back raw.
int32_t WaitEvent(int32_t timeout = -1);
// Gadget (or menu item, command, notice) of the current event.
intptr_t CurrentEventGadget();
// The detail of the current event: an application event's second word, else 0.
intptr_t CurrentEventDetail();
// Appends a window-level event unless the newest queued entry is the same event and window.
void QueueEvent(int32_t event, intptr_t window);
// Posts EVENT_APPLICATION with the value and the detail to a numbered window; any thread may
// call it. The layer made it, so no other process can forge one. It comes in order with the
// window's other events, as a gadget event would, and when a modal loop (a message box) takes
// it, it waits in the event queue for the application's next wait: it is neither handled inside
// that loop nor lost. Of a burst with one value, queued while nothing took events, one entry
// stays, with the newest detail. False when the window is none of the layer's or the post fails.
bool PostApplicationEvent(HWND window, intptr_t value, intptr_t detail = 0);
// The accelerator table to translate the active window's keys with, or null.
HACCEL AcceleratorFor(HWND activeWindow);
// Frees the payloads still held by the EventState (each with the block its sixth word points to).
// Payloads are made and posted through gui/own_messages.h.
void FreeEventPayload();
// Sets the process-wide user window callback (null removes it).
void SetEventCallback(WindowCallback callback);

// The class procedure of every numbered window.
LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The shared translation of every numbered window's messages: the result, or NOT_HANDLED for
// the platform default.
LRESULT TranslateWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
