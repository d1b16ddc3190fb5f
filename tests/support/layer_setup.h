// Events through the window layer's wait, for the window tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "gui/event_wait.h"

namespace interaction {

// Dispatches through the layer's event wait for up to `ms` milliseconds and returns every event
// it gave.
inline std::vector<int32_t> WaitEvents(DWORD ms) {
    std::vector<int32_t> events;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        const int32_t event = WaitEvent(10);
        if (event != EVENT_NONE)
            events.push_back(event);
    }
    return events;
}

inline bool Contains(const std::vector<int32_t>& events, int32_t event) {
    for (int32_t e : events)
        if (e == event)
            return true;
    return false;
}

} // namespace interaction
