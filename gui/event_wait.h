// Events: platform window messages become the layer's numbered events, which the event wait
// hands to the application one at a time.
#pragma once

#include <windows.h>
#include <cstdint>

// Result of a layer handler that leaves a message to the platform default.
constexpr LRESULT NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);
// Result of a user window callback that lets the built-in handling go on.
constexpr LRESULT PASS_ON = static_cast<LRESULT>(0xE0E0E0E1u);

// Accelerator commands of Tab and Shift+Tab in every numbered window.
constexpr int CMD_FOCUS_NEXT = 64001;
constexpr int CMD_FOCUS_PREVIOUS = 64002;
