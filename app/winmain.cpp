// The entry point of kalibrix.exe: a GUI program without a console and without a command line.
#include <windows.h>
#include "app/startup_shutdown.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RunProgram();
}
