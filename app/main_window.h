// The main window and its command loop: the port library check, window 14 with its twenty-seven
// gadgets, and the start, stop and calculate commands.
#pragma once

#include <windows.h>

// Opens window 14 with its twenty-seven gadgets in their creation order and returns the window's
// handle; null when the window cannot be opened.
HWND OpenMainWindow();

// The tool's own program between start-up and shut-down: opens the port library, opens the main
// window and runs the event loop until the window is closed.
void MainProcedure();
