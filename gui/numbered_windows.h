// Numbered top-level windows, each with a window class of its own.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/window_table.h"

// Open flags of the layer's own, beside the platform window style bits.
constexpr uint32_t WINDOW_CENTER_SCREEN = 1;
constexpr uint32_t WINDOW_CENTER_PARENT = 2;
constexpr uint32_t WINDOW_KEEP_GADGET_LIST = 8;
// Creates the window hidden: WS_VISIBLE's bit, taken out of the style, with the opposite meaning.
constexpr uint32_t WINDOW_INVISIBLE = 0x10000000;

// As x or y: the platform chooses the position.
constexpr int32_t POSITION_DEFAULT = -65535;

// Start-up of the window layer: window table, EventState, icon, cursor, SizingTracker and the
// message gate. False when a table or record could not be made.
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

// "WindowClass_" and the number in decimal, into a buffer of WINDOW_CLASS_NAME_SIZE.
constexpr size_t WINDOW_CLASS_NAME_SIZE = 40; // the longest 64-bit number fits
void FormatWindowClassName(char* buffer, intptr_t number);
