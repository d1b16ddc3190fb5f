// How the tests take their thread's messages: straight from the platform, as a nested loop (a
// message box's) takes them, or through the window layer's event wait, as the program does.
//
// A test waits for a sign, never for a time: a condition it can see, or a marker posted to the
// thread behind what is queued, which comes back only once all before it has been handled. The
// limits only keep a broken program from hanging the test; no check rests on them.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

namespace testsupport {

// How long a test waits for a sign before it fails: far beyond what a slow, loaded machine needs.
constexpr DWORD SIGN_LIMIT_MS = 10000;

// Straight from the platform.

// Dispatches messages until the sign holds; the sign's last answer.
bool PumpUntil(const std::function<bool()>& sign, DWORD limit = SIGN_LIMIT_MS);
// Posts a marker and dispatches until it comes back: all that was queued before it has been
// dispatched then. A marker that does not come back fails the test.
bool PumpToMarker(DWORD limit = SIGN_LIMIT_MS);
// Dispatches what arrives during the given time (0: what is queued now), to serve the thread's
// windows while the test waits on something else. Never the wait before a check.
void PumpMessages(DWORD milliseconds);

// Through the window layer's event wait.

// Takes events until the sign holds; the events taken go to `events`. The sign's last answer.
bool EventsUntil(const std::function<bool()>& sign, std::vector<int32_t>* events = nullptr,
                 DWORD limit = SIGN_LIMIT_MS);
// Posts a marker and takes events until it comes back: the events of all that was queued before
// it, in order, each also handed to `each` as it comes, before the next wait. A marker that does
// not come back fails the test.
std::vector<int32_t> EventsToMarker(const std::function<void(int32_t event)>& each = nullptr,
                                    DWORD limit = SIGN_LIMIT_MS);
// Settles the window before a test looks at it: the events of all that is queued (to a marker),
// then on until none has come for `quiet` ms, for what the display sends of itself (showing,
// painting, the pointer) without a marker behind it.
std::vector<int32_t> CollectEvents(DWORD quiet = 60);
// Takes events until the wanted one comes; those before it go to `seen`.
bool WaitForEvent(int32_t wanted, DWORD limit = 3000, std::vector<int32_t>* seen = nullptr);

// The listed codes of the events, in order.
std::vector<int32_t> Only(const std::vector<int32_t>& events, std::initializer_list<int32_t> codes);
bool Contains(const std::vector<int32_t>& events, int32_t event);

} // namespace testsupport
