#include "app/app_state.h"

#include <cstring>

AppState App;

void AppStateInit() {
    std::memset(&App, 0, sizeof App);
}
