// Windows for the window tests and real input to them: a plain window class, a shown numbered
// window, the foreground, which alone gets input, and key presses that the test follows until
// the thread has taken them.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <vector>

namespace testsupport {

// A window class whose procedure is the platform's default.
const char* PlainWindowClass();

// Opens a numbered window of the layer (visible unless the flags say otherwise) and lets the
// messages of its showing pass.
HWND OpenTestWindow(intptr_t number, uint32_t flags = WS_CAPTION | WS_SYSMENU, int32_t x = 100,
                    int32_t y = 100);

// Makes the window the foreground one (and the active one, when it is this thread's); false
// when it did not come to the front.
bool BringToFront(HWND window);

// Presses and releases the key as real input, with Shift held when asked, and takes events
// through the layer's wait until the thread has taken the key's release, or until `sign` holds
// if that comes first. The press is handled then: a focus it moves has moved, a character it
// types has arrived. The events taken go to `events`; false when neither came.
bool PressKey(WORD key, bool shift = false, std::vector<int32_t>* events = nullptr,
              const std::function<bool()>& sign = nullptr);

} // namespace testsupport
