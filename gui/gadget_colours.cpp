// Gadget colours and the brush cache.
#include "gui/gadget_colours.h"

#include "runtime/memory_heaps.h"

namespace {

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
