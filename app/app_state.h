// The application's global state, shared by the command loop and the square drives.
#pragma once

#include <windows.h>
#include <cstdint>
#include "app/settings_file.h"
#include "runtime/string_workspace.h"

struct AppState {
    SharedText stepsText; // gadget 5 as the last start command took it; read by every drive
    SharedText delayText; // gadget 7 as the last start command took it; read by every drive
    int32_t lastEvent;    // the code WaitEvent returned last
    int32_t workerThread; // number of the drive started last; 0 until the first start
    float sideLength;     // gadget 11, millimetres
    float stepCount;      // gadget 5, as the calculation reads it
    float mmPerStep;      // sideLength / stepCount
    // kalibrix.ini as the last start command checked it, for the drive it starts (written only
    // while no drive runs, read once by that drive)
    DriveSettings driveSettings;
    HWND mainWindow; // takes the drives' reports; set before the first start
    // Moved on by every stop and start, on the window's thread. A drive is named by the value it
    // was started under, and its reports count only while that is still the value.
    intptr_t driveGeneration;
};

extern AppState App;

// Clears the state to zero and prepares the locks of the shared texts.
void AppStateInit();
