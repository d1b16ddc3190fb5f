// The gate for messages from outside. Any process can post or send any message to our windows
// and thread: the layer's private numbers, the system's creation and destruction, a control's
// command naming a window of its own. One table says who may send each message and what becomes
// of it otherwise; the hook asks it for every message the thread takes from its queue, and every
// window procedure of the layer asks it first, for every message that arrives.
#pragma once

#include <windows.h>

// What a window procedure of the layer does with a message, before anything else sees it.
enum class GateVerdict : unsigned char {
    PASS,    // a sender that may send it sent it
    DROP,    // answered 0 at once: nothing of the layer, and no user callback, sees it
    DEFAULT, // left to the handling beneath the layer: it makes no event and reaches no kind
};

// Installs the gate's check of every message the calling thread takes from its queue, in every
// message loop, the platform's modal ones included: a forged post becomes WM_NULL before anything
// sees it. Called once by the window layer's start-up on the thread that runs the windows; false
// when the platform refuses the check.
bool InstallMessageGate();
// The verdict on a message that reaches a window procedure of the layer.
GateVerdict CheckMessage(HWND window, UINT message, LPARAM lParam);
// The control a notification (WM_NOTIFY) names, or null when its header is not readable memory
// of this process: the platform passes the address on unchanged, from any process.
HWND NotificationSender(LPARAM lParam);
