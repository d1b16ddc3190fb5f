// The layer's own messages: the private messages it posts to its windows (focus notices, relayed
// clicks, data payloads), told apart from forged ones. Any process can post or send any number to
// our windows and thread, the layer's private numbers and the system's own messages among them;
// only what the layer made itself, and what the system sent, is taken as real.
#pragma once

#include <windows.h>
#include <cstddef>
#include "gui/layer_numbers.h"

// The layer's private numbers: the block of LAYER_NUMBERS_FIRST to LAYER_NUMBERS_LAST and the
// relayed click (12502). The click notice itself (12501) comes from outside by design, as a
// notification icon's callback does.
bool IsLayerMessageNumber(UINT message);

// Installs the check of every message the calling thread takes from its queue, in every message
// loop, the platform's modal ones included: a message that only the system sends (creation and
// destruction) or a private one that the layer did not post becomes WM_NULL before anything sees
// it. Called once by the window layer's start-up on the thread that runs the windows; false when
// the platform refuses the check.
bool InstallMessageCheck();

// True for a message sent from another thread or process that is either one only the system
// sends (the system sends creation and destruction on the window's own thread) or one of the
// layer's private numbers (the layer posts those): a window procedure drops it at once.
bool IsForgedSentMessage(UINT message);

// True when the control lies inside the window and belongs to this thread; for a gadget, also
// when the layer registered it. A command or notification counts only from such a control:
// another process can name any window as the sender, one of its own with a gadget's identifier.
bool IsOwnControl(HWND window, HWND control, bool gadget);

// The control a notification (WM_NOTIFY) names, or null when its header is not readable memory
// of this process: the platform passes the address on unchanged, from any process.
HWND NotificationSender(LPARAM lParam);

// Posts a private message of the layer to a numbered window; false (nothing posted) when the
// window is none of the layer's or the post fails. Any thread may call it.
bool PostLayerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// For the window procedures, on a private message: true when the layer made it. A posted one got
// past the queue check only as a post of the layer's, which is taken now; one sent on this
// thread comes from the program itself; one sent from another thread or process is forged.
bool TakeLayerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Forgets the layer's posts to a window that is going, and gives back the payloads they carry.
void GiveBackWindowMessages(HWND window);

// A payload for MSG_WINDOW_DATA or MSG_GADGET_DATA: a zero-filled MainHeap block of at least six
// words, whose sixth word may name a second MainHeap block that is freed with it. Null when the
// heap is full. Any thread may call it.
void* MakeEventPayload(size_t size);
// Posts the payload with MSG_WINDOW_DATA or MSG_GADGET_DATA (wParam the gadget number) to a
// numbered window; from then on the layer owns it. False (the caller keeps it) when the payload
// is not one made and not yet posted, the message or the window is not one for payloads, or the
// post fails.
bool PostEventPayload(HWND window, UINT message, WPARAM wParam, void* payload);
// Gives back a payload that was made and never posted; false for anything else.
bool GiveBackEventPayload(void* payload);
// For the window procedures: true when the payload is the layer's own post of this message to
// this window, which then passes to the caller (to be freed with FreeEventPayloadBlocks).
bool TakeEventPayload(HWND window, UINT message, WPARAM wParam, void* payload);
// Frees a payload taken from a message, with its second block.
void FreeEventPayloadBlocks(void* payload);
// Payloads made or posted and not yet taken (for leak checks).
int LiveEventPayloads();
