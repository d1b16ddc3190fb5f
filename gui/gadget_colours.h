// Gadget colours: text and string gadgets paint with colours of their own, on solid brushes
// shared by colour through a reference-counted cache.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/gadget_table.h"

// Which colour of a gadget: its text or its background.
constexpr int32_t GADGET_COLOUR_TEXT = 1;
constexpr int32_t GADGET_COLOUR_BACKGROUND = 2;

// Prepares the cache's lock; called first by the gadget layer's initialisation.
bool BrushCacheInit();
// A solid brush of the colour, shared with every other holder of that colour; null on failure.
HBRUSH AcquireBrush(COLORREF colour);
// Lets go of a brush from AcquireBrush; the last holder's release deletes it. A brush the cache
// does not hold is ignored.
void ReleaseBrush(HBRUSH brush);
// Brushes the cache holds right now (for leak checks).
int32_t BrushCacheSize();

// The colour operations of the text and string kinds' descriptors. The handlers answer the
// colour messages the parent receives: a brush, or NOT_HANDLED to leave the platform's look.
LRESULT TextColourHandler(GadgetRecord* record, HWND parent, UINT message, WPARAM wParam,
                          LPARAM lParam);
LRESULT StringColourHandler(GadgetRecord* record, HWND parent, UINT message, WPARAM wParam,
                            LPARAM lParam);
void ColourRelease(GadgetRecord* record);
void ColourSetter(GadgetRecord* record, int32_t which, COLORREF colour);
COLORREF ColourGetter(GadgetRecord* record, int32_t which);

// Sets a gadget's text or background colour (GADGET_COLOUR_NONE for the platform default)
// through its kind; false when there is no such gadget or its kind has no colours.
bool SetGadgetColour(intptr_t number, int32_t which, COLORREF colour);
// A gadget's colour through its kind; GADGET_COLOUR_NONE when it has none of its own, when
// which names no colour, or when the gadget or its kind's colours are missing.
COLORREF GetGadgetColour(intptr_t number, int32_t which);
