// Tab and Shift+Tab among the controls of the active window.
#include "gui/focus_cycling.h"

#include <cstring>

namespace {

// Windows of this class are multiple-document children: the walk stays inside the outermost
// one that holds the focus.
const char MDI_CHILD_CLASS[] = "MDI_ChildClass";

bool IsEligible(HWND window) {
    return IsWindowEnabled(window) && IsWindowVisible(window) &&
           (GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP) != 0;
}

BOOL CALLBACK ForwardStep(HWND window, LPARAM context) {
    FocusWalk* walk = reinterpret_cast<FocusWalk*>(context);
    if (!IsEligible(window))
        return TRUE;
    if (walk->takeNext || !walk->current) {
        SetFocus(window);
        walk->takeNext = FALSE;
        walk->done = TRUE;
        return FALSE;
    }
    if (window == walk->current)
        walk->takeNext = TRUE;
    return TRUE;
}

BOOL CALLBACK BackwardStep(HWND window, LPARAM context) {
    FocusWalk* walk = reinterpret_cast<FocusWalk*>(context);
    if (!IsEligible(window))
        return TRUE;
    if (window == walk->current && walk->previous) {
        SetFocus(walk->previous);
        walk->done = TRUE;
        walk->previous = window;
        return FALSE;
    }
    walk->previous = window;
    return TRUE;
}

} // namespace

int CycleFocus(int backward) {
    HWND root = GetActiveWindow();
    // Without an active window the enumeration would run over every top-level window.
    if (!root)
        return 0;
    HWND focus = GetFocus();

    FocusWalk walk = {};
    if (focus && IsChild(root, focus)) {
        walk.current = focus;
        for (HWND w = focus; w; w = GetParent(w)) {
            char className[50];
            if (GetClassNameA(w, className, sizeof className) &&
                std::strcmp(className, MDI_CHILD_CLASS) == 0) {
                root = w;
                if (w == focus)
                    walk.current = nullptr;
            }
        }
    }

    LPARAM context = reinterpret_cast<LPARAM>(&walk);
    if (!backward) {
        EnumChildWindows(root, ForwardStep, context);
        // The current control was the last one: start again from the top.
        if (walk.takeNext)
            EnumChildWindows(root, ForwardStep, context);
        return walk.done;
    }
    EnumChildWindows(root, BackwardStep, context);
    if (!walk.done && walk.previous) {
        SetFocus(walk.previous);
        walk.done = TRUE;
    }
    return walk.done;
}
