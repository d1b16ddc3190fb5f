// Message pumping and window helpers shared by the interaction tests.
#pragma once

#include <windows.h>

#include <functional>

#include "tests/support/message_pump.h"

namespace interaction {

// The shared pump, under the names these tests use.
inline void Pump(DWORD ms) {
    testsupport::PumpMessages(ms);
}
using testsupport::PumpUntil;

// Real key input reaches only the foreground window.
inline bool BringToFront(HWND window) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        SetForegroundWindow(window);
        SetActiveWindow(window);
        Pump(50);
        if (GetForegroundWindow() == window && GetActiveWindow() == window)
            return true;
    }
    return false;
}

inline void SendKey(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

// Presses and releases a key, with Shift held when asked.
inline void TypeKey(WORD key, bool shift = false) {
    if (shift)
        SendKey(VK_SHIFT, false);
    SendKey(key, false);
    SendKey(key, true);
    if (shift)
        SendKey(VK_SHIFT, true);
}

// A plain window class whose procedure is the platform default.
inline const char* PlainWindowClass() {
    static const char name[] = "InteractionPlainWindow";
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

} // namespace interaction
