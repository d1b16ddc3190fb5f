// Gadget colours and the brush cache.
#include "gui/gadget_colours.h"

#include "gui/layer_numbers.h"
#include "runtime/memory_heaps.h"

namespace {

// The erase, invalidate and frame flags: the new colours show at once, border included.
constexpr UINT COLOUR_REDRAW = RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_FRAME;

struct BrushCacheEntry {
    COLORREF colour;
    HBRUSH brush;
    LONG references;
};

// The drive threads never touch brushes, but the cache is shared by every window of the
// process and kept safe for callers on any thread.
struct BrushCache {
    CRITICAL_SECTION lock;
    NodeList entries; // newest first
    bool ready;
};

BrushCache brushCache;

} // namespace

bool BrushCacheInit() {
    if (!brushCache.ready) {
        InitializeCriticalSection(&brushCache.lock);
        brushCache.ready = true;
    }
    return true;
}

HBRUSH AcquireBrush(COLORREF colour) {
    if (!brushCache.ready)
        return nullptr;
    EnterCriticalSection(&brushCache.lock);
    for (void* p = NodeListFirst(brushCache.entries); p; p = NodeListNext(p)) {
        BrushCacheEntry* entry = static_cast<BrushCacheEntry*>(p);
        if (entry->colour != colour)
            continue;
        if (entry->brush) {
            ++entry->references;
            LeaveCriticalSection(&brushCache.lock);
            return entry->brush;
        }
        break;
    }
    HBRUSH brush = nullptr;
    BrushCacheEntry* entry =
        static_cast<BrushCacheEntry*>(NodeListAdd(&brushCache.entries, sizeof(BrushCacheEntry)));
    if (entry) {
        brush = CreateSolidBrush(colour);
        if (brush) {
            entry->colour = colour;
            entry->brush = brush;
            entry->references = 1;
        } else {
            // Nobody would ever release an entry without a brush: drop it rather than let
            // every failed creation leave a node behind for good.
            NodeListRemove(&brushCache.entries, entry);
        }
    }
    LeaveCriticalSection(&brushCache.lock);
    return brush;
}

void ReleaseBrush(HBRUSH brush) {
    if (!brush || !brushCache.ready)
        return;
    EnterCriticalSection(&brushCache.lock);
    for (void* p = NodeListFirst(brushCache.entries); p; p = NodeListNext(p)) {
        BrushCacheEntry* entry = static_cast<BrushCacheEntry*>(p);
        if (entry->brush != brush)
            continue;
        if (--entry->references <= 0) {
            DeleteObject(entry->brush);
            NodeListRemove(&brushCache.entries, entry);
        }
        break;
    }
    LeaveCriticalSection(&brushCache.lock);
}

int32_t BrushCacheSize() {
    if (!brushCache.ready)
        return 0;
    int32_t count = 0;
    EnterCriticalSection(&brushCache.lock);
    for (void* p = NodeListFirst(brushCache.entries); p; p = NodeListNext(p))
        ++count;
    LeaveCriticalSection(&brushCache.lock);
    return count;
}

namespace {

// Both kinds paint alike once they have decided to answer; they differ in the messages they
// answer and the background a text colour alone is painted on.
LRESULT PaintColours(GadgetRecord* record, HDC context, int defaultBackground) {
    LRESULT answer = NOT_HANDLED;
    if (record->frontColour != GADGET_COLOUR_NONE) {
        SetTextColor(context, record->frontColour);
        if (record->backColour == GADGET_COLOUR_NONE) {
            SetBkColor(context, GetSysColor(defaultBackground));
            answer = reinterpret_cast<LRESULT>(GetSysColorBrush(defaultBackground));
        }
    }
    if (record->backColour != GADGET_COLOUR_NONE) {
        SetBkColor(context, record->backColour);
        answer = reinterpret_cast<LRESULT>(record->backBrush);
    }
    return answer;
}

} // namespace

LRESULT TextColourHandler(GadgetRecord* record, HWND, UINT message, WPARAM wParam, LPARAM) {
    if (!record || message != WM_CTLCOLORSTATIC)
        return NOT_HANDLED;
    return PaintColours(record, reinterpret_cast<HDC>(wParam), COLOR_BTNFACE);
}

LRESULT StringColourHandler(GadgetRecord* record, HWND, UINT message, WPARAM wParam, LPARAM) {
    if (!record)
        return NOT_HANDLED;
    // A read-only field asks with the static message; a disabled one keeps the platform look.
    const bool answers = message == WM_CTLCOLOREDIT ||
                         (message == WM_CTLCOLORSTATIC && IsWindowEnabled(record->control));
    if (!answers)
        return NOT_HANDLED;
    return PaintColours(record, reinterpret_cast<HDC>(wParam), COLOR_BTNHIGHLIGHT);
}

void ColourRelease(GadgetRecord* record) {
    if (!record || !record->backBrush)
        return;
    ReleaseBrush(record->backBrush);
    record->backBrush = nullptr;
}

void ColourSetter(GadgetRecord* record, int32_t which, COLORREF colour) {
    if (!record)
        return;
    if (which == GADGET_COLOUR_TEXT) {
        record->frontColour = colour;
    } else if (which == GADGET_COLOUR_BACKGROUND) {
        ColourRelease(record);
        record->backBrush = colour == GADGET_COLOUR_NONE ? nullptr : AcquireBrush(colour);
        record->backColour = colour;
    }
    RedrawWindow(record->control, nullptr, nullptr, COLOUR_REDRAW);
}

COLORREF ColourGetter(GadgetRecord* record, int32_t which) {
    if (!record)
        return GADGET_COLOUR_NONE;
    if (which == GADGET_COLOUR_TEXT)
        return record->frontColour;
    if (which == GADGET_COLOUR_BACKGROUND)
        return record->backColour;
    return GADGET_COLOUR_NONE;
}

bool SetGadgetColour(intptr_t number, int32_t which, COLORREF colour) {
    GadgetRecord* record = FindGadget(number);
    if (!record || !record->gadgetClass || !record->gadgetClass->setColour)
        return false;
    record->gadgetClass->setColour(record, which, colour);
    return true;
}

COLORREF GetGadgetColour(intptr_t number, int32_t which) {
    GadgetRecord* record = FindGadget(number);
    if (!record || !record->gadgetClass || !record->gadgetClass->getColour)
        return GADGET_COLOUR_NONE;
    return record->gadgetClass->getColour(record, which);
}
