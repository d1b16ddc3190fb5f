// Tab and Shift+Tab among the controls of the active window: the layer's windows are plain
// windows, not dialog boxes, so the platform does not move the focus for them.
#pragma once

#include <windows.h>

// The context one walk hands to the enumeration of the root's descendants.
struct FocusWalk {
    HWND current;  // the control with the focus when the walk starts, or null
    HWND previous; // backward: the last eligible control seen so far
    BOOL takeNext; // forward: the current control has been passed
    BOOL done;     // the walk has moved the focus
};

// Moves the focus to the next (backward = 0) or previous eligible control, with wrap-around.
// Returns non-zero when it gave some control the focus; callers need not look.
int CycleFocus(int backward);
