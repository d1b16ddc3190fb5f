// Helpers of the window and gadget layer's tests: event collection through the real event wait.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <vector>
#include "gui/event_wait.h"
#include "gui/numbered_windows.h"
#include "tests/support/message_pump.h"

namespace guitest {

// Every event the wait returns until nothing has come for `quiet` ms (at most `limit` ms).
inline std::vector<int32_t> CollectEvents(DWORD quiet = 60, DWORD limit = 3000) {
    std::vector<int32_t> events;
    DWORD start = GetTickCount();
    DWORD lastEvent = start;
    for (;;) {
        int32_t event = WaitEvent(10);
        DWORD now = GetTickCount();
        if (event != EVENT_NONE) {
            events.push_back(event);
            lastEvent = now;
        }
        if (now - lastEvent >= quiet || now - start >= limit) {
            return events;
        }
    }
}

// Waits for one event through the wait; the events seen before it go to `seen`.
inline bool WaitForEvent(int32_t wanted, DWORD limit = 3000, std::vector<int32_t>* seen = nullptr) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < limit) {
        int32_t event = WaitEvent(10);
        if (event == wanted) {
            return true;
        }
        if (seen && event != EVENT_NONE) {
            seen->push_back(event);
        }
    }
    return false;
}

// Keeps only the listed codes, in order.
inline std::vector<int32_t> Only(const std::vector<int32_t>& events,
                                 std::initializer_list<int32_t> codes) {
    std::vector<int32_t> kept;
    for (int32_t event : events) {
        for (int32_t code : codes) {
            if (event == code) {
                kept.push_back(event);
                break;
            }
        }
    }
    return kept;
}

// Opens a visible numbered window and lets the messages of its showing pass.
inline HWND OpenTestWindow(intptr_t number, uint32_t flags = 0xC80000, int32_t x = 100,
                           int32_t y = 100) {
    intptr_t result = OpenNumberedWindow(number, x, y, 300, 200, "Test", flags);
    HWND handle = NumberedWindowHandle(number == AUTO_NUMBER ? result : number);
    CollectEvents();
    return handle;
}

} // namespace guitest
