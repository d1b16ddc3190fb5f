#include "tests/support/test_windows.h"

#include "gui/numbered_windows.h"
#include "tests/support/message_pump.h"

namespace testsupport {

namespace {

// Under Wine the first request can come before the window is on the display: asked again.
constexpr int FRONT_ATTEMPTS = 20;
constexpr DWORD FRONT_WAIT_MS = 50;

void SendKey(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

} // namespace

const char* PlainWindowClass() {
    static const char name[] = "TestPlainWindow";
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = name;
        registered = RegisterClassA(&wc) != 0;
    }
    return name;
}

HWND OpenTestWindow(intptr_t number, uint32_t flags, int32_t x, int32_t y) {
    const intptr_t result = OpenNumberedWindow(number, x, y, 300, 200, "Test", flags);
    HWND handle = NumberedWindowHandle(number == AUTO_NUMBER ? result : number);
    CollectEvents();
    return handle;
}

bool BringToFront(HWND window) {
    const bool ours = GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    const auto inFront = [window, ours] {
        return GetForegroundWindow() == window && (!ours || GetActiveWindow() == window);
    };
    for (int attempt = 0; attempt < FRONT_ATTEMPTS && !inFront(); ++attempt) {
        SetForegroundWindow(window);
        if (ours) {
            SetActiveWindow(window);
        }
        PumpUntil(inFront, FRONT_WAIT_MS);
    }
    return inFront();
}

bool PressKey(WORD key, bool shift, std::vector<int32_t>* events,
              const std::function<bool()>& sign) {
    // The thread's own key state changes as the thread takes key messages from its queue, and
    // its low bit flips with every press: flipped and up, the release has been taken.
    const SHORT before = GetKeyState(key);
    const auto released = [key, before] {
        const SHORT now = GetKeyState(key);
        return ((now ^ before) & 1) != 0 && (now & 0x8000) == 0;
    };
    if (shift) {
        SendKey(VK_SHIFT, false);
    }
    SendKey(key, false);
    SendKey(key, true);
    if (shift) {
        SendKey(VK_SHIFT, true);
    }
    return EventsUntil([&] { return (sign && sign()) || released(); }, events);
}

} // namespace testsupport
