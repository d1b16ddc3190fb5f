// Numbered top-level windows, each with a window class of its own.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/event_wait.h"
#include "runtime/object_table.h"

// Open flags of the layer's own, beside the platform window style bits.
constexpr uint32_t WINDOW_CENTER_SCREEN = 1;
constexpr uint32_t WINDOW_CENTER_PARENT = 2;
constexpr uint32_t WINDOW_KEEP_GADGET_LIST = 8;
constexpr uint32_t WINDOW_INVISIBLE = 0x10000000; // the value of WS_VISIBLE, meaning the opposite

// Properties on the platform's windows: the window number + 1 on every numbered window (0 means
// none), and the mark of a window or control with a registered drop target.
inline constexpr char WINDOW_ID_PROPERTY[] = "GX_WindowID";
inline constexpr char DROP_ACCEPT_PROPERTY[] = "GX_DropAccept";

// As x or y: the platform chooses the position.
constexpr int32_t POSITION_DEFAULT = -65535;

// Background erasing for a window without a brush: (device context, window) -> result.
using EraseHook = LRESULT (*)(HDC deviceContext, HWND window);

struct WindowRecord {
    HWND handle;               // non-null marks the slot as used
    ACCEL* acceleratorEntries; // MainHeap block with the Tab and Shift+Tab entries
    HACCEL acceleratorTable;   // built from them; null when there is no Tab cycling
    WindowCallback callback;   // the window's own user callback, or null
    int32_t acceleratorCount;  // entries in acceleratorEntries
    HBRUSH backgroundBrush;    // paints the background; owned, deleted when the window closes
    HWND mdiClient;            // multiple-document client of a child window; null here
    EraseHook eraseHook;       // background erasing when there is no brush, or null
    uint16_t minWidth;         // tracking limits in pixels, 0 = no limit
    uint16_t minHeight;        //
    uint16_t maxWidth;         //
    uint16_t maxHeight;        //
    int32_t minOrMax;          // 1 while minimised or maximised
    int32_t closing;           // 1 while CloseNumberedWindow destroys the window
};

// Start-up of the window layer: window table, EventState, icon, cursor, SizingTracker. False
// when a table or record could not be made.
bool InitWindowLayer();

// Opens a window with inner size width x height, its outer top-left corner at x, y. Returns the
// handle for a numbered window, the new number (the record's address) for AUTO_NUMBER, 0 on
// failure. A number in use is closed first.
intptr_t OpenNumberedWindow(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* title, uint32_t flags, HWND parent = nullptr);
// Closes the window; nothing happens when the number holds none.
void CloseNumberedWindow(intptr_t number);
// Closes every window (numbered by rising number, then dynamic ones) and frees a held payload.
void CloseAllWindows();

// The record of a number (or AUTO_NUMBER address), or null.
WindowRecord* FindWindowRecord(intptr_t number);
// The platform handle of a numbered window, or null.
HWND NumberedWindowHandle(intptr_t number);
// The window table (for walks in tests and diagnostics).
ObjectTable* WindowTable();
// "WindowClass_" and the number in decimal, into a buffer of WINDOW_CLASS_NAME_SIZE.
constexpr size_t WINDOW_CLASS_NAME_SIZE = 40; // the longest 64-bit number fits
void FormatWindowClassName(char* buffer, intptr_t number);

// Setters for what the translation honours. Each returns false when the number holds no window.
bool SetWindowCallback(intptr_t number, WindowCallback callback);
// The window takes the brush over and deletes it when it closes or gets another; null removes.
bool SetWindowBackground(intptr_t number, HBRUSH brush);
bool SetWindowEraseHook(intptr_t number, EraseHook hook);
bool SetWindowSizeLimits(intptr_t number, uint16_t minWidth, uint16_t minHeight, uint16_t maxWidth,
                         uint16_t maxHeight);
