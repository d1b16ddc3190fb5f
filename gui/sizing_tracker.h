// The window sizing tracker: with full-window dragging on, the layer sizes a numbered window
// itself, by mouse or arrow keys, through messages that arrive through the event wait.
#pragma once

#include <windows.h>

struct SizingTracker {
    int active;        // 1 while a sizing is tracked
    int restoreCursor; // 1 when the cursor returns to savedCursor at the end
    POINT savedCursor; // cursor position when a keyboard sizing started
    RECT rect;         // the window rectangle being shaped, screen coordinates
    RECT startRect;    // the window rectangle when the sizing started
    int edge;          // platform sizing-edge number, 0 none chosen yet
    MINMAXINFO limits; // the window's tracking limits
    HWND window;       // the window being sized while active
    HWND focusBefore;  // the control that had the focus when a keyboard sizing started
};

// Allocates the process's zero-filled tracker record (called by InitWindowLayer); false when
// the heap cannot supply it.
bool SizingTrackerInit();
// The process's tracker record (through CurrentRecord).
SizingTracker* CurrentSizingTracker();

// The first step of every message translation: the result, or NOT_HANDLED for a message the
// tracker does not take.
LRESULT TrackSizing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ApplyEdgePosition(int x, int y);
void StepSizing(HWND window, int x, int y);
void MoveWindowToRect(HWND window, const RECT* rect);
void PlaceSizingCursor(int cursor, int x, int y);
