// Helpers shared by the runtime and drive tests.
#pragma once

#include <windows.h>

#include "tests/support/message_pump.h"

// Pumps this thread's queue until the condition holds or the time runs out.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD milliseconds = 5000) {
    return testsupport::PumpUntil(condition, milliseconds);
}

// Pumps for a while without a condition.
inline void PumpFor(DWORD milliseconds) {
    testsupport::PumpMessages(milliseconds);
}
