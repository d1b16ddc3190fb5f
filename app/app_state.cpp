#include "app/app_state.h"

#include <cstring>

AppState App;

namespace {

bool locksPrepared = false;

} // namespace

void AppStateInit() {
    // A second initialisation (tests do this) gives the old locks back before clearing them.
    if (locksPrepared) {
        DeleteCriticalSection(&App.stepsText.lock);
        DeleteCriticalSection(&App.delayText.lock);
    }
    std::memset(&App, 0, sizeof App);
    SharedTextInit(&App.stepsText);
    SharedTextInit(&App.delayText);
    locksPrepared = true;
}
