// The class procedure of every numbered window.
#pragma once

#include <windows.h>

// Asks the message gate, has the message translated, and gives what the translation leaves to
// the platform's default procedure (the frame's, for a window with a multiple-document client).
LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
