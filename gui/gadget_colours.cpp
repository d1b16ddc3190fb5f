// Gadget colours and the brush cache.
#include "gui/gadget_colours.h"

bool BrushCacheInit() {
    return true;
}
HBRUSH AcquireBrush(COLORREF colour) {
    return CreateSolidBrush(colour);
}
void ReleaseBrush(HBRUSH brush) {
    if (brush)
        DeleteObject(brush);
}
