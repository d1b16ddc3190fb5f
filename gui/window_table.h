// The window table: the record of every numbered window, and the mark by which the layer knows
// a platform window as one of its numbered windows.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/layer_numbers.h"
#include "gui/numbered_registry.h"
#include "runtime/object_table.h"

// The property on every numbered window: its number + 1, so that 0 means none.
inline constexpr char WINDOW_ID_PROPERTY[] = "GX_WindowID";

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

using WindowRegistry = NumberedRegistry<WindowRecord, &WindowRecord::handle>;
// Creates the table with room for 16 windows; taking a number in use calls `closeHolder` first.
// False when the heap cannot supply it.
bool WindowTableCreate(ObjectTableHook closeHolder);
// The window table (for walks in tests and diagnostics).
inline constexpr auto& WindowTable = WindowRegistry::Table;
// The record of a number (or AUTO_NUMBER address), or null.
inline constexpr auto& FindWindowRecord = WindowRegistry::Find;
// The platform handle of a numbered window, or null.
inline constexpr auto& NumberedWindowHandle = WindowRegistry::Window;

// The number of a numbered window, -1 for any other window (and for null).
intptr_t WindowNumberOf(HWND window);
// Marks the window as the numbered window `number`, or takes the mark away.
void MarkNumberedWindow(HWND window, intptr_t number);
void UnmarkNumberedWindow(HWND window);

// Setters for what the translation honours. Each returns false when the number holds no window.
bool SetWindowCallback(intptr_t number, WindowCallback callback);
// The window takes the brush over and deletes it when it closes or gets another; null removes.
bool SetWindowBackground(intptr_t number, HBRUSH brush);
bool SetWindowEraseHook(intptr_t number, EraseHook hook);
bool SetWindowSizeLimits(intptr_t number, uint16_t minWidth, uint16_t minHeight, uint16_t maxWidth,
                         uint16_t maxHeight);
