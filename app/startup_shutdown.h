// The program's entry sequence: start-up of the runtime and the window and gadget layers in a
// fixed order, the main procedure, then shut-down in a fixed order and the end of the process.
#pragma once

#include <windows.h>

// Runs the whole program and ends the process with exit code 0; never returns.
[[noreturn]] void RunProgram();

// The two halves of RunProgram around the main procedure. StartServices sets the runtime and
// both layers up in their fixed order and tells whether all of them came up; StopServices takes
// down, in the fixed order, whatever came up, and returns. When a drive still runs after the
// bounded wait for the stopped drives, the heaps stay for it: the caller ends the process next.
bool StartServices();
void StopServices();
