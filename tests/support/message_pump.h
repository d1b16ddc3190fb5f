// Draining the thread's message queue with a time limit, so that checks run after everything
// the platform posted or sent has arrived, also on a slow machine under Xvfb.
#pragma once

#include <windows.h>
#include <functional>

namespace testsupport {

// Dispatches every message that arrives for the thread during the given time.
void PumpMessages(DWORD milliseconds);
// Dispatches messages until the condition holds or the time is up; the condition's last answer.
bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds);
// Dispatches messages until none has arrived for `quiet` milliseconds (at most `limit` in all).
void PumpUntilQuiet(DWORD quiet = 50, DWORD limit = 2000);

} // namespace testsupport
