#include "tests/support/message_pump.h"

#include <gtest/gtest.h>
#include <algorithm>
#include "gui/event_wait.h"

namespace testsupport {

namespace {

// A number no part of the program uses, posted to a window of the test's own that notes its
// arrival. The event wait may hand back another event in its place (one that a message handled
// outside a wait left pending), so the marker is known by its arrival, not by what the wait says.
constexpr UINT MARKER = WM_APP + 0x100;
// The longest a pump waits for the next message before it looks at its sign again.
constexpr DWORD POLL_MS = 10;
// A display that never falls quiet ends the settling after this long.
constexpr DWORD QUIET_LIMIT_MS = 3000;

// Each thread pumps its own queue, so each has its own marker window.
thread_local WPARAM markerArrived = 0;

LRESULT CALLBACK NoteMarker(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MARKER) {
        markerArrived = wParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of the calling thread, made on first use.
HWND MarkerWindow() {
    thread_local HWND window = nullptr;
    if (window == nullptr) {
        static const ATOM markerClass = [] {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = NoteMarker;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "TestMarkerWindow";
            return RegisterClassA(&wc);
        }();
        window = CreateWindowExA(0, MAKEINTATOM(markerClass), "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    return window;
}

WPARAM PostMarker() {
    thread_local WPARAM posted = 0;
    PostMessageA(MarkerWindow(), MARKER, ++posted, 0);
    return posted;
}

// Whether messages posted to the thread wait in its queue; the system's paint, timer and input
// messages are no posted ones.
bool PostedMessagesWaiting() {
    return (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0;
}

// Runs `step` (which waits at most the milliseconds it is given) until `done` holds or the limit
// is up; done's last answer.
bool Until(const std::function<bool()>& done, DWORD limit, const std::function<void(DWORD)>& step) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limit) {
            return false;
        }
        step(std::min(POLL_MS, limit - elapsed));
    }
}

// Takes the next message straight from the platform, waiting at most `ms` for one, and
// dispatches it; false when none came.
bool TakeMessage(DWORD ms, MSG* message) {
    if (!PeekMessageA(message, nullptr, 0, 0, PM_REMOVE)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
        if (!PeekMessageA(message, nullptr, 0, 0, PM_REMOVE)) {
            return false;
        }
    }
    TranslateMessage(message);
    DispatchMessageA(message);
    return true;
}

// Takes the next event through the layer's wait, waiting at most `ms`, for `events` and `each`;
// the marker is none.
void TakeEvent(DWORD ms, std::vector<int32_t>* events, const std::function<void(int32_t)>& each) {
    const int32_t event = WaitEvent(static_cast<int32_t>(ms));
    if (event == EVENT_NONE || event == static_cast<int32_t>(MARKER)) {
        return;
    }
    if (events != nullptr) {
        events->push_back(event);
    }
    if (each) {
        each(event);
    }
}

// Posts markers and runs `take` until one comes back with no posted message behind it: all that
// was queued before the first, and all that handling it posted in turn, has been handled then.
// Adds a failure when the marker did not come back.
bool ToMarker(DWORD limit, const std::function<void(DWORD)>& take) {
    const DWORD start = GetTickCount();
    bool back = false;
    do {
        const WPARAM marker = PostMarker();
        const DWORD spent = GetTickCount() - start;
        back = Until([marker] { return markerArrived == marker; }, limit - std::min(limit, spent),
                     take);
    } while (back && PostedMessagesWaiting());
    EXPECT_TRUE(back) << "the marker posted behind the queue did not come back";
    return back;
}

} // namespace

bool PumpUntil(const std::function<bool()>& sign, DWORD limit) {
    return Until(sign, limit, [](DWORD ms) {
        MSG message;
        TakeMessage(ms, &message);
    });
}

bool PumpToMarker(DWORD limit) {
    return ToMarker(limit, [](DWORD ms) {
        MSG message;
        TakeMessage(ms, &message);
    });
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    MSG message;
    while (TakeMessage(0, &message)) {
    }
    for (DWORD elapsed; (elapsed = GetTickCount() - start) < milliseconds;) {
        TakeMessage(milliseconds - elapsed, &message);
    }
}

bool EventsUntil(const std::function<bool()>& sign, std::vector<int32_t>* events, DWORD limit) {
    return Until(sign, limit, [events](DWORD ms) { TakeEvent(ms, events, nullptr); });
}

std::vector<int32_t> EventsToMarker(const std::function<void(int32_t)>& each, DWORD limit) {
    std::vector<int32_t> events;
    ToMarker(limit, [&events, &each](DWORD ms) { TakeEvent(ms, &events, each); });
    return events;
}

std::vector<int32_t> CollectEvents(DWORD quiet) {
    std::vector<int32_t> events = EventsToMarker();
    const DWORD start = GetTickCount();
    DWORD lastEvent = start;
    Until([&] { return GetTickCount() - lastEvent >= quiet; }, QUIET_LIMIT_MS,
          [&](DWORD ms) {
              const size_t before = events.size();
              TakeEvent(ms, &events, nullptr);
              if (events.size() != before) {
                  lastEvent = GetTickCount();
              }
          });
    return events;
}

bool WaitForEvent(int32_t wanted, DWORD limit, std::vector<int32_t>* seen) {
    std::vector<int32_t> taken;
    const bool came = EventsUntil(
        [&taken, wanted] { return !taken.empty() && taken.back() == wanted; }, &taken, limit);
    if (seen != nullptr) {
        seen->insert(seen->end(), taken.begin(), came ? taken.end() - 1 : taken.end());
    }
    return came;
}

std::vector<int32_t> Only(const std::vector<int32_t>& events,
                          std::initializer_list<int32_t> codes) {
    std::vector<int32_t> kept;
    for (int32_t event : events) {
        if (std::find(codes.begin(), codes.end(), event) != codes.end()) {
            kept.push_back(event);
        }
    }
    return kept;
}

bool Contains(const std::vector<int32_t>& events, int32_t event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

} // namespace testsupport
