// The numbers the layer and its users share: the results of handlers and callbacks, the event
// codes, the layer's private window messages and its accelerator commands.
#pragma once

#include <windows.h>
#include <cstdint>

// Result of a layer handler that leaves a message to the platform default.
constexpr LRESULT NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);
// Result of a user window callback that lets the built-in handling go on.
constexpr LRESULT PASS_ON = static_cast<LRESULT>(0xE0E0E0E1u);

// A user window callback: returns PASS_ON to let the built-in handling go on, anything else
// to answer the message with that result.
using WindowCallback = LRESULT(CALLBACK*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Accelerator commands of Tab and Shift+Tab in every numbered window.
constexpr int CMD_FOCUS_NEXT = 64001;
constexpr int CMD_FOCUS_PREVIOUS = 64002;

// A child control with this identifier is a command bar: its commands count as menu commands.
constexpr int COMMAND_BAR_ID = -10000;

// Event codes. Window-level events carry the numbers of the platform messages behind them, so a
// retrieved message that makes no event comes back under its own number in the same space.
constexpr int32_t EVENT_NONE = 0;
constexpr int32_t EVENT_WINDOW_MOVED = 3;
constexpr int32_t EVENT_WINDOW_SIZED = 5;
constexpr int32_t EVENT_REPAINT = 15;
constexpr int32_t EVENT_CLOSE_WINDOW = 16;
constexpr int32_t EVENT_GADGET = 13100;
constexpr int32_t EVENT_MENU = 13101;
constexpr int32_t EVENT_NOTIFY_CLICK = 13102;
constexpr int32_t EVENT_WINDOW_ACTIVATED = 13104;
constexpr int32_t EVENT_WINDOW_DATA = 13105;
constexpr int32_t EVENT_GADGET_DATA = 13106;
constexpr int32_t EVENT_WINDOW_MINIMIZED = 13107;
constexpr int32_t EVENT_WINDOW_MAXIMIZED = 13108;
constexpr int32_t EVENT_WINDOW_RESTORED = 13109;
// Posted by the application to its own window (PostApplicationEvent); the current gadget is its
// value, and CurrentEventDetail its detail.
constexpr int32_t EVENT_APPLICATION = 13110;

// The layer's private window messages.
constexpr UINT MSG_NOTIFY_CLICK = 12501;        // wParam notice id, lParam mouse message
constexpr UINT MSG_NOTIFY_CLICK_POSTED = 12502; // the same, re-posted
constexpr UINT GADGET_FOCUS_NOTICE = 13103;     // wParam gadget number, lParam event type
constexpr UINT MSG_WINDOW_DATA = 13105;         // lParam payload record
constexpr UINT MSG_GADGET_DATA = 13106;         // wParam gadget number, lParam payload record
constexpr UINT MSG_APPLICATION_EVENT = 13110;   // wParam the value, lParam the detail
constexpr UINT MSG_GADGET_FORWARD = 13120;      // lParam the gadget's window handle

// The block of numbers that carry the layer's events and its private messages. None comes back
// from the event wait raw, and only the layer may post one (gui/message_gate.h).
constexpr UINT LAYER_NUMBERS_FIRST = 13100;
constexpr UINT LAYER_NUMBERS_LAST = 13199;
