// The gadget table: the record of every gadget and the descriptors of the gadget kinds, whose
// operation slots carry everything that differs between kinds.
#pragma once

#include <windows.h>
#include <cstdint>
#include "gui/numbered_registry.h"
#include "runtime/object_table.h"

enum class GadgetKind : int32_t { Button = 1, String = 2, Text = 3 };

// A gadget colour value of "none of its own": the platform default applies.
constexpr COLORREF GADGET_COLOUR_NONE = 0xFFFFFFFFu;

struct GadgetClass;

struct GadgetRecord {
    HWND control;                   // the platform control; non-null marks the entry as in use
    const GadgetClass* gadgetClass; // the kind's descriptor
    WNDPROC previousProc;           // the procedure GadgetProc replaced
    COLORREF backColour;            // GADGET_COLOUR_NONE for none of its own
    COLORREF frontColour;           // GADGET_COLOUR_NONE for none of its own
    HBRUSH backBrush;               // brush of backColour from the BrushCache, or null
};

// The operation slots of a kind.
using GadgetParentMessage = LRESULT (*)(GadgetRecord* record, HWND parent, UINT message,
                                        WPARAM wParam, LPARAM lParam);
using GadgetRelease = void (*)(GadgetRecord* record);
using GadgetGetState = int32_t (*)(GadgetRecord* record);
using GadgetSetState = void (*)(GadgetRecord* record, int32_t state);
using GadgetGetText = int32_t (*)(GadgetRecord* record, int32_t offset);
using GadgetSetText = void (*)(GadgetRecord* record, const char* text);
using GadgetSetColour = void (*)(GadgetRecord* record, int32_t which, COLORREF colour);
using GadgetGetColour = COLORREF (*)(GadgetRecord* record, int32_t which);
// A slot that no kind of this program fills.
using GadgetOperation = void (*)();

// One shared descriptor per kind; every slot may be null and is tested before each call.
struct GadgetClass {
    GadgetKind kind;
    int32_t size;                      // sizeof(GadgetClass): GADGET_CLASS_SIZE
    GadgetParentMessage parentMessage; // 1: a message the parent received about the control
    GadgetRelease release;             // 2: clean-up when the control is destroyed
    GadgetGetState getState;           // 3
    GadgetSetState setState;           // 4
    GadgetGetText getText;             // 5: a kind's own text read, as ReadGadgetText
    GadgetSetText setText;             // 6: a kind's own text write
    GadgetOperation unusedSlots7To28[22];
    GadgetSetColour setColour; // 29
    GadgetGetColour getColour; // 30
    GadgetOperation unusedSlots31To35[5];
};
// A kind, a size and 35 operation slots: 148 bytes on 32-bit Windows, 288 on 64-bit.
constexpr int32_t GADGET_CLASS_SIZE = 2 * sizeof(int32_t) + 35 * sizeof(GadgetOperation);
static_assert(sizeof(GadgetClass) == GADGET_CLASS_SIZE,
              "a gadget descriptor is a kind, a size and 35 operation slots");

using GadgetRegistry = NumberedRegistry<GadgetRecord, &GadgetRecord::control>;
// Creates the table with room for 50 gadgets; taking a number in use calls `destroyHolder`
// first. False when the heap cannot supply it.
bool GadgetTableCreate(ObjectTableHook destroyHolder);
// The gadget table (for walks in tests and diagnostics).
inline constexpr auto& GadgetTable = GadgetRegistry::Table;
// The record of a gadget number (or AUTO_NUMBER address), or null.
inline constexpr auto& FindGadget = GadgetRegistry::Find;
// The gadget's control, or null.
inline constexpr auto& GadgetHandle = GadgetRegistry::Window;
// The record of the gadget whose control this is, or null: the control's identifier names the
// gadget, and the gadget names the control.
GadgetRecord* GadgetOfControl(HWND control);
