// The event wait: platform window messages become the layer's numbered events, which the wait
// hands to the application one at a time. The event codes and the readers of the current event
// come with it.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/event_queue.h"

// The next event: timeout -1 waits without limit, 0 only polls, a positive value waits at most
// that many milliseconds. EVENT_NONE when nothing came. A message dropped as forged is no event:
// an endless wait goes on waiting, another ends with EVENT_NONE. The layer's own numbers never
// come back raw.
int32_t WaitEvent(int32_t timeout = -1);
// The accelerator table to translate the active window's keys with, or null.
HACCEL AcceleratorFor(HWND activeWindow);
