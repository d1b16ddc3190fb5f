// The window sizing tracker. With full-window dragging the platform's own sizing loop would
// keep the messages away from the event wait; the layer sizes the window itself instead.
#include "gui/sizing_tracker.h"

#include "gui/layer_numbers.h"
#include "runtime/memory_heaps.h"

namespace {

GlobalRecordOf<SizingTracker> trackerRecord;

// Platform cursor identifiers of the sizing shapes.
constexpr int CURSOR_SIZE_NWSE = 32642;
constexpr int CURSOR_SIZE_NESW = 32643;
constexpr int CURSOR_SIZE_WE = 32644;
constexpr int CURSOR_SIZE_NS = 32645;
constexpr int CURSOR_SIZE_ALL = 32646;

// A system command's low four bits are the platform's own: for the size command, the edge.
constexpr WPARAM SYSTEM_COMMAND_BITS = 0xFFF0;
constexpr WPARAM SIZING_EDGE_BITS = 0xF;

// One arrow press moves the cursor this far.
constexpr int KEY_STEP = 10;
// The pointer sits this far inside the right and bottom edges (and both edges of the
// top-left corner), so placing the cursor and applying its position changes nothing.
constexpr int INSET = 2;

bool InLeftGroup(int edge) {
    return edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
}
bool InRightGroup(int edge) {
    return edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT;
}
bool InTopGroup(int edge) {
    return edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
}
bool InBottomGroup(int edge) {
    return edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT;
}

// An edge follows the pointer, and the edge opposite holds: the span between them stays within
// the tracking limits. The left and top edges are low, the right and bottom ones high.
void MoveLowEdge(LONG& low, LONG high, LONG position, LONG minimum, LONG maximum) {
    low = position;
    if (high - low < minimum)
        low = high - minimum;
    else if (high - low > maximum)
        low = high - maximum;
}

void MoveHighEdge(LONG low, LONG& high, LONG position, LONG minimum, LONG maximum) {
    high = position;
    if (high - low < minimum)
        high = low + minimum;
    else if (high - low > maximum)
        high = low + maximum;
}

HCURSOR SharedCursor(int cursor) {
    return static_cast<HCURSOR>(LoadImageA(nullptr, MAKEINTRESOURCEA(cursor), IMAGE_CURSOR, 0, 0,
                                           LR_SHARED | LR_DEFAULTSIZE));
}

LRESULT StartSizing(SizingTracker* tracker, HWND window, WPARAM wParam) {
    BOOL fullDrag = FALSE;
    SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &fullDrag, 0);
    if (!fullDrag)
        return NOT_HANDLED;

    tracker->edge = static_cast<int>(wParam & SIZING_EDGE_BITS);
    tracker->active = 1;
    tracker->window = window;
    GetWindowRect(window, &tracker->rect);
    tracker->startRect = tracker->rect;

    MINMAXINFO& limits = tracker->limits;
    limits.ptReserved = {0, 0};
    limits.ptMaxSize = {GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
    if (GetWindowLongA(window, GWL_STYLE) & WS_BORDER)
        limits.ptMaxPosition = {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)};
    else if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_WINDOWEDGE)
        limits.ptMaxPosition = {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)};
    else
        limits.ptMaxPosition = {0, 0};
    limits.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    limits.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));

    if (GetKeyState(VK_LBUTTON) == 0)
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SetCapture(window);
    PostMessageA(window, WM_ENTERSIZEMOVE, 0, 0);

    tracker->focusBefore = nullptr;
    if (tracker->edge == 0) {
        // Sizing from the window menu: the cursor returns where it was unless the mouse moves.
        tracker->restoreCursor = 1;
        GetCursorPos(&tracker->savedCursor);
        SetCursor(SharedCursor(CURSOR_SIZE_ALL));
        // Keys go to the focus: a focused control would take the arrows, Enter and Escape.
        HWND focus = GetFocus();
        if (focus != window) {
            tracker->focusBefore = IsChild(window, focus) ? focus : nullptr;
            SetFocus(window);
        }
    } else {
        tracker->restoreCursor = 0;
    }
    return 0;
}

// The control that had the focus before a keyboard sizing gets it back, unless the focus has
// gone elsewhere since or the control has gone.
void GiveFocusBack(SizingTracker* tracker, HWND window) {
    HWND control = tracker->focusBefore;
    tracker->focusBefore = nullptr;
    if (control && GetFocus() == window && IsChild(window, control)) {
        SetFocus(control);
    }
}

void TrackMouse(SizingTracker* tracker, HWND window, LPARAM lParam) {
    tracker->restoreCursor = 0;
    POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    MapWindowPoints(window, nullptr, &point, 1);
    ApplyEdgePosition(point.x, point.y);
    SendMessageA(window, WM_SIZING, tracker->edge, reinterpret_cast<LPARAM>(&tracker->rect));
    MoveWindowToRect(window, &tracker->rect);
}

// An arrow with no edge chosen picks the edge it points to; an arrow across a chosen side picks
// the corner on that side.
struct EdgePick {
    WPARAM key;
    int before;
    int after;
};

const EdgePick EDGE_PICKS[] = {
    {VK_LEFT, 0, WMSZ_LEFT},
    {VK_LEFT, WMSZ_TOP, WMSZ_TOPLEFT},
    {VK_LEFT, WMSZ_BOTTOM, WMSZ_BOTTOMLEFT},
    {VK_RIGHT, 0, WMSZ_RIGHT},
    {VK_RIGHT, WMSZ_TOP, WMSZ_TOPRIGHT},
    {VK_RIGHT, WMSZ_BOTTOM, WMSZ_BOTTOMRIGHT},
    {VK_UP, 0, WMSZ_TOP},
    {VK_UP, WMSZ_LEFT, WMSZ_TOPLEFT},
    {VK_UP, WMSZ_RIGHT, WMSZ_TOPRIGHT},
    {VK_DOWN, 0, WMSZ_BOTTOM},
    {VK_DOWN, WMSZ_LEFT, WMSZ_BOTTOMLEFT},
    {VK_DOWN, WMSZ_RIGHT, WMSZ_BOTTOMRIGHT},
};

// The cursor shape of each edge, by its number.
const int EDGE_CURSORS[] = {
    CURSOR_SIZE_ALL,  CURSOR_SIZE_WE, CURSOR_SIZE_WE,   CURSOR_SIZE_NS,   CURSOR_SIZE_NWSE,
    CURSOR_SIZE_NESW, CURSOR_SIZE_NS, CURSOR_SIZE_NESW, CURSOR_SIZE_NWSE,
};
static_assert(sizeof EDGE_CURSORS / sizeof EDGE_CURSORS[0] == WMSZ_BOTTOMRIGHT + 1,
              "a cursor for no edge and for each of the eight edges");

// Where the pointer sits for an edge, so that applying its position leaves the rectangle as it
// is (see ApplyEdgePosition); a coordinate that the edge does not move stays the cursor's.
POINT EdgeSpot(int edge, const RECT& r, POINT cursor) {
    const int cornerInset = edge == WMSZ_TOPLEFT ? INSET : 0;
    POINT spot = cursor;
    if (InLeftGroup(edge))
        spot.x = r.left + cornerInset;
    else if (InRightGroup(edge))
        spot.x = r.right - INSET;
    if (InTopGroup(edge))
        spot.y = r.top + cornerInset;
    else if (InBottomGroup(edge))
        spot.y = r.bottom - INSET;
    return spot;
}

// An arrow picks an edge when the table has one for it, and else moves the cursor one step.
void TrackArrow(SizingTracker* tracker, HWND window, WPARAM key) {
    POINT cursor;
    GetCursorPos(&cursor);
    for (const EdgePick& pick : EDGE_PICKS) {
        if (pick.key == key && pick.before == tracker->edge) {
            tracker->edge = pick.after;
            const POINT spot = EdgeSpot(pick.after, tracker->rect, cursor);
            PlaceSizingCursor(EDGE_CURSORS[pick.after], spot.x, spot.y);
            return;
        }
    }
    const int dx = key == VK_LEFT ? -KEY_STEP : key == VK_RIGHT ? KEY_STEP : 0;
    const int dy = key == VK_UP ? -KEY_STEP : key == VK_DOWN ? KEY_STEP : 0;
    StepSizing(window, cursor.x + dx, cursor.y + dy);
}

LRESULT TrackActive(SizingTracker* tracker, HWND window, UINT message, WPARAM wParam,
                    LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE:
        TrackMouse(tracker, window, lParam);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
            // Both keep the current size; the capture change below ends the sizing.
            ReleaseCapture();
            return 0;
        }
        // Arrows still go on to the event translation.
        if (wParam >= VK_LEFT && wParam <= VK_DOWN)
            TrackArrow(tracker, window, wParam);
        return NOT_HANDLED;
    case WM_LBUTTONUP:
        ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        PostMessageA(window, WM_EXITSIZEMOVE, 0, 0);
        tracker->active = 0;
        tracker->window = nullptr;
        if (tracker->restoreCursor)
            SetCursorPos(tracker->savedCursor.x, tracker->savedCursor.y);
        GiveFocusBack(tracker, window);
        return 0;
    default:
        return NOT_HANDLED;
    }
}

} // namespace

bool SizingTrackerInit() {
    return trackerRecord.Init();
}

SizingTracker* CurrentSizingTracker() {
    return trackerRecord.Current();
}

LRESULT TrackSizing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SizingTracker* tracker = CurrentSizingTracker();
    if (!tracker)
        return NOT_HANDLED;
    if (tracker->active) {
        // Only the window being sized takes part; another window's messages go their way.
        if (window != tracker->window)
            return NOT_HANDLED;
        return TrackActive(tracker, window, message, wParam, lParam);
    }
    if (message == WM_SYSCOMMAND && (wParam & SYSTEM_COMMAND_BITS) == SC_SIZE)
        return StartSizing(tracker, window, wParam);
    return NOT_HANDLED;
}

void ApplyEdgePosition(int x, int y) {
    SizingTracker* tracker = CurrentSizingTracker();
    if (!tracker)
        return;
    RECT& r = tracker->rect;
    const int edge = tracker->edge;
    const POINT& minimum = tracker->limits.ptMinTrackSize;
    const POINT& maximum = tracker->limits.ptMaxTrackSize;
    const int cornerInset = edge == WMSZ_TOPLEFT ? INSET : 0;
    if (InLeftGroup(edge))
        MoveLowEdge(r.left, r.right, x - cornerInset, minimum.x, maximum.x);
    if (InRightGroup(edge))
        MoveHighEdge(r.left, r.right, x + INSET, minimum.x, maximum.x);
    if (InTopGroup(edge))
        MoveLowEdge(r.top, r.bottom, y - cornerInset, minimum.y, maximum.y);
    if (InBottomGroup(edge))
        MoveHighEdge(r.top, r.bottom, y + INSET, minimum.y, maximum.y);
}

void StepSizing(HWND window, int x, int y) {
    SizingTracker* tracker = CurrentSizingTracker();
    if (!tracker)
        return;
    SetCursorPos(x, y);
    ApplyEdgePosition(x, y);
    SendMessageA(window, WM_SIZING, tracker->edge, reinterpret_cast<LPARAM>(&tracker->rect));
    MoveWindowToRect(window, &tracker->rect);
}

void MoveWindowToRect(HWND window, const RECT* rect) {
    RECT r = *rect;
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void PlaceSizingCursor(int cursor, int x, int y) {
    SetCursorPos(x, y);
    SetCursor(SharedCursor(cursor));
}
