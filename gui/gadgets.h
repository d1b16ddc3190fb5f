// Gadgets: numbered child controls (text labels, single-line edit fields, push buttons) in the
// current gadget list's window, with their kinds' operations in shared descriptors.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/gadget_table.h"

// Event types of a string gadget's focus notices (EVENT_GADGET).
constexpr int32_t FOCUS_GAINED = 14000;
constexpr int32_t FOCUS_LOST = 14001;

// Start-up of the gadget layer: brush-cache lock, default font, gadget table, GadgetListState,
// common controls. False when the table or the list state could not be made.
bool InitGadgetLayer();

// A creation flag of the layer's own: a sunken border on a text gadget, none on a string gadget.
// The bit is WS_GROUP's, which every kind's base style holds anyway.
constexpr int32_t GADGET_FLAG_BORDER = 0x20000;

// Creation in the current gadget list's window. Returns the control's handle for a fixed number,
// the record's address (the gadget's number from then on) for AUTO_NUMBER, 0 when the platform
// refuses the control; a gadget that already holds the number is then left in place.
intptr_t CreateTextGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                          const char* text, int32_t flags = 0);
intptr_t CreateStringGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* text, int32_t flags = 0);
intptr_t CreateButtonGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* text, int32_t flags = 0);

// Writes the gadget's text into the StringWorkspace at offset (the current position) and leaves
// the position on its terminator; returns that position, 0 when there is no such gadget.
// Main thread only.
int32_t ReadGadgetText(intptr_t number, int32_t offset);
// Copies the gadget's text into buffer (zero-terminated, at most size - 1 characters) and
// returns its length; 0 and an empty buffer when there is no such gadget. Safe from any thread
// while the thread that owns the windows pumps messages; it does not touch the StringWorkspace.
int32_t ReadGadgetTextInto(intptr_t number, char* buffer, int32_t size);
// Sets the gadget's text; a null text empties it.
void WriteGadgetText(intptr_t number, const char* text);
// Destroys the gadget's control; its teardown frees the number.
void DestroyGadget(intptr_t number);

// Hands a message that a window received about a control to the control's kind: the kind's
// answer, or NOT_HANDLED when the control is no gadget or its kind does not answer.
LRESULT DispatchGadgetMessage(HWND control, HWND parent, UINT message, WPARAM wParam,
                              LPARAM lParam);
// The nearest ancestor-or-self that is a numbered window, else the topmost ancestor.
HWND FindOwningWindow(HWND window);

// The last step of every creation: links control and record. Returns as the creations do.
intptr_t RegisterGadget(intptr_t number, GadgetRecord* record, HWND control,
                        const GadgetClass* gadgetClass);
// Installed on every gadget's control; tears the gadget down on WM_NCDESTROY.
LRESULT CALLBACK GadgetProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Installed on string gadgets: posts the focus notices to the owning window.
LRESULT CALLBACK StringFocusProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
