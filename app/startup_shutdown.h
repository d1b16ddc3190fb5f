// The program's entry sequence: start-up of the runtime and the window and gadget layers in a
// fixed order, the main procedure, then shut-down in a fixed order and the end of the process.
#pragma once

#include <windows.h>

// Runs the whole program and ends the process with exit code 0; never returns.
[[noreturn]] void RunProgram();

// The program's own module, for window classes, the icon and gadget creation.
HINSTANCE ProgramInstance();
