// The translation of every numbered window's messages into the layer's events.
#pragma once

#include <windows.h>

// The shared translation of a numbered window's messages, called only by WindowClassProc: the
// result, or NOT_HANDLED for the platform default.
LRESULT TranslateWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
