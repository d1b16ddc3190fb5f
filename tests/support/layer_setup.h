// Starts the runtime and the window and gadget layer once per test program, in the order the
// program's start-up uses.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "gui/event_wait.h"
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "runtime/memory_heaps.h"
#include "runtime/string_workspace.h"

namespace interaction {

inline void StartLayer() {
    static bool started = false;
    if (started)
        return;
    ASSERT_TRUE(MainHeapCreate());
    ASSERT_TRUE(WorkspaceInit());
    ASSERT_TRUE(NodeHeapCreate());
    ASSERT_TRUE(InitWindowLayer());
    ASSERT_TRUE(InitGadgetLayer());
    started = true;
}

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
