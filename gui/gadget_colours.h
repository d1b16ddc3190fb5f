// Gadget colours: text and string gadgets paint with colours of their own, on solid brushes
// shared by colour through a reference-counted cache.
#pragma once

#include <windows.h>

// Prepares the cache's lock; called first by the gadget layer's initialisation.
bool BrushCacheInit();
// A solid brush of the colour, shared with every other holder of that colour; null on failure.
HBRUSH AcquireBrush(COLORREF colour);
// Lets go of a brush from AcquireBrush; the last holder's release deletes it.
void ReleaseBrush(HBRUSH brush);
