// The application's global state, shared by the command loop and the square drives.
#pragma once

#include <windows.h>
#include <cstdint>
#include "app/drive_plan.h"

struct AppState {
    int32_t lastEvent;    // the code WaitEvent returned last
    int32_t workerThread; // number of the drive started last; 0 until the first start
    float sideLength;     // gadget 11, millimetres
    float stepCount;      // gadget 5, as the calculation reads it
    float mmPerStep;      // sideLength / stepCount
    // What the last start command checked, for the drive it starts (written only while no drive
    // runs, taken whole and once by that drive)
    DriveOrder driveOrder;
    HWND mainWindow; // takes the drives' reports; set before the first start
    // Moved on by every stop and start, on the window's thread. A drive is named by the value it
    // was started under, and its reports count only while that is still the value.
    intptr_t driveGeneration;
};

extern AppState App;

// Clears the state to zero.
void AppStateInit();
