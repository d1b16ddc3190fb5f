#include "app/startup_shutdown.h"

#include <commctrl.h>
#include <objbase.h>
#include "app/app_state.h"
#include "app/main_window.h"
#include "gui/gadgets.h"
#include "gui/message_requester.h"
#include "gui/numbered_windows.h"
#include "runtime/libraries.h"
#include "runtime/memory_heaps.h"
#include "runtime/string_workspace.h"
#include "runtime/threads.h"

namespace {

constexpr uint32_t STOPPED_DRIVES_WAIT_MS = 250;

// Whether the component services came up, so that shut-down ends them.
bool componentServices = false;

// How far start-up came: shut-down takes down only what exists.
enum StartupStage {
    STAGE_NONE,
    STAGE_MAIN_HEAP,
    STAGE_WINDOW_LAYER,
    STAGE_LIBRARIES,
    STAGE_THREADS,
};

StartupStage StartUp() {
    AppStateInit();
    if (!MainHeapCreate()) {
        return STAGE_NONE;
    }
    if (!WorkspaceInit() || !NodeHeapCreate() || !InitWindowLayer()) {
        return STAGE_MAIN_HEAP;
    }
    if (!InitGadgetLayer() || !LibrariesInit()) {
        return STAGE_WINDOW_LAYER;
    }
    InitCommonControls();
    componentServices = SUCCEEDED(CoInitialize(nullptr));
    if (!ThreadsInit()) {
        return STAGE_LIBRARIES;
    }
    return STAGE_THREADS;
}

// How far start-up came, for the take-down.
StartupStage reached = STAGE_NONE;

} // namespace

bool StartServices() {
    reached = StartUp();
    return reached == STAGE_THREADS;
}

void StopServices() {
    const StartupStage stage = reached;
    reached = STAGE_NONE;
    bool drivesEnded = true;
    if (stage >= STAGE_THREADS) {
        // Every drive is stopped before the port library goes: no write may go through a
        // released library, and the port keeps the last byte written.
        ThreadStopAll();
        // A stopped drive ends within moments; waiting for that keeps it out of the tables
        // freed below. The wait is bounded, so closing the window still ends the program at once.
        drivesEnded = ThreadWaitAll(STOPPED_DRIVES_WAIT_MS);
        ThreadCloseAll();
    }
    if (stage >= STAGE_LIBRARIES) {
        LibraryCloseAll();
    }
    if (stage >= STAGE_WINDOW_LAYER) {
        CloseAllWindows();
    }
    // Each successful start of the component services is ended once, after the windows.
    if (componentServices) {
        CoUninitialize();
        componentServices = false;
    }
    // A drive still running may yet read the gadget table in the MainHeap. The process ends at
    // once, which releases the heap anyway, so it is left to the system then.
    if (stage >= STAGE_MAIN_HEAP && drivesEnded) {
        MainHeapDestroy();
    }
}

void RunProgram() {
    if (StartServices()) {
        MainProcedure();
    } else {
        // A half-started runtime cannot run the tool; say so rather than vanish.
        ShowMessage("Fehler", "Kalibrix konnte nicht gestartet werden...", 0);
    }
    StopServices();
    ExitProcess(0);
}
