// The messages the layer posts to its windows (focus notices, relayed clicks, application
// events, data payloads), each noted until its window takes it. A post carries no sender, and
// any process can post the layer's numbers: the note is how the message gate knows the layer's
// own posts from forged ones.
#pragma once

#include <windows.h>
#include <cstddef>

// Posts a private message of the layer to a numbered window; false (nothing posted) when the
// window is none of the layer's or the post fails. Any thread may call it.
bool PostLayerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// True when the layer posted exactly this message to this window and the window has not taken
// it yet. A post that leaves the queue (`removed`) is taken now, unless it carries a payload,
// which TakeEventPayload takes.
bool IsLayerPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool removed);
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
