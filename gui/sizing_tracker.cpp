// The window sizing tracker.
#include "gui/sizing_tracker.h"

#include "gui/event_wait.h"
#include "runtime/memory_heaps.h"

namespace {
SizingTracker* trackerRecord = nullptr;
}

bool SizingTrackerInit() {
    trackerRecord = static_cast<SizingTracker*>(AllocGlobalRecord(sizeof(SizingTracker), nullptr));
    return trackerRecord != nullptr;
}

SizingTracker* CurrentSizingTracker() {
    return static_cast<SizingTracker*>(CurrentRecord(trackerRecord));
}

LRESULT TrackSizing(HWND, UINT, WPARAM, LPARAM) {
    return NOT_HANDLED;
}
void ApplyEdgePosition(int, int) {}
void StepSizing(HWND, int, int) {}
void MoveWindowToRect(HWND, const RECT*) {}
void PlaceSizingCursor(int, int, int) {}
