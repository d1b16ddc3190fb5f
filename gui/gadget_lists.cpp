// Gadget lists per window: the current list lives in the GadgetListState, every other list in
// a GadgetStack attached to its window. Each container array has exactly one owner.
#include "gui/gadget_lists.h"

#include "gui/message_gate.h"
#include "runtime/memory_heaps.h"
#include "runtime/string_workspace.h"

namespace {

GlobalRecordOf<GadgetListState> gadgetListRecord;
HFONT initialFont = nullptr;

constexpr int32_t CONTAINER_STACK_ENTRIES = 10;

HWND* NewContainerStack() {
    return static_cast<HWND*>(MainHeapAlloc(sizeof(HWND) * CONTAINER_STACK_ENTRIES));
}

void InitialiseGadgetListState(void* record) {
    GadgetListState* state = static_cast<GadgetListState*>(record);
    state->font = initialFont;
    state->containerStack = NewContainerStack();
    state->capacity = state->containerStack ? CONTAINER_STACK_ENTRIES : 0;
}

// The window to which the current list belongs, also while gadgets go into a container in it.
HWND ListWindow(const GadgetListState* state) {
    if (state->depth > 0 && state->containerStack) {
        return state->containerStack[0];
    }
    return state->currentParent;
}

GadgetStack* StackOf(HWND window, const char* name) {
    return static_cast<GadgetStack*>(GetPropA(window, name));
}

} // namespace

// The module handle in decimal, whole also on 64-bit Windows (XP's runtime knows %I64d).
void FormatGadgetStackName(char* buffer) {
    SystemSprintf(buffer, "GX_GadgetStack_%I64d",
                  static_cast<long long>(reinterpret_cast<intptr_t>(GetModuleHandleA(nullptr))));
}

bool GadgetListStateInit(HFONT font) {
    initialFont = font;
    return gadgetListRecord.Init(InitialiseGadgetListState);
}

GadgetListState* CurrentGadgetListState() {
    return gadgetListRecord.Current();
}

HWND SwitchGadgetList(HWND window) {
    GadgetListState* state = CurrentGadgetListState();
    if (!state) {
        return nullptr;
    }
    HWND previous = ListWindow(state);
    if (!window) {
        return previous;
    }
    char name[GADGET_STACK_NAME_SIZE];
    FormatGadgetStackName(name);

    if (previous) {
        // The array passes to the previous window's record; without a record the state keeps
        // it, so that it is never without an owner.
        if (GadgetStack* saved = StackOf(previous, name)) {
            saved->currentParent = state->currentParent;
            saved->containerStack = state->containerStack;
            saved->depth = state->depth;
            saved->capacity = state->capacity;
            state->containerStack = nullptr;
        }
    }

    if (GadgetStack* stack = StackOf(window, name)) {
        if (state->containerStack) {
            MainHeapFree(state->containerStack);
        }
        state->currentParent = stack->currentParent;
        state->containerStack = stack->containerStack;
        state->depth = stack->depth;
        state->capacity = stack->capacity;
        stack->containerStack = nullptr;
        return previous;
    }

    // The window's first switch.
    if (!state->containerStack) {
        state->containerStack = NewContainerStack();
        state->capacity = state->containerStack ? CONTAINER_STACK_ENTRIES : 0;
    }
    state->depth = 0;
    state->currentParent = window;
    GadgetStack* stack = static_cast<GadgetStack*>(MainHeapAlloc(sizeof(GadgetStack)));
    if (!stack) {
        return previous;
    }
    stack->window = window;
    if (!SetPropA(window, name, stack)) {
        MainHeapFree(stack);
        return previous;
    }
    stack->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetStackProc)));
    return previous;
}

LRESULT CALLBACK GadgetStackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A forged destruction would free the list while the window lives on, and every later message
    // would miss the window's own procedure.
    if (CheckMessage(window, message, lParam) == GateVerdict::DROP) {
        return 0;
    }
    char name[GADGET_STACK_NAME_SIZE];
    FormatGadgetStackName(name);
    GadgetStack* stack = StackOf(window, name);
    if (!stack) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    WNDPROC previousProc = stack->previousProc;
    // The record goes before the window's own procedure sees WM_NCDESTROY.
    if (message == WM_NCDESTROY) {
        GadgetListState* state = CurrentGadgetListState();
        if (state && stack->window == ListWindow(state)) {
            // No current list until the next switch; the state keeps its array.
            state->currentParent = nullptr;
            state->depth = 0;
        }
        if (stack->containerStack) {
            MainHeapFree(stack->containerStack);
        }
        RemovePropA(window, name);
        MainHeapFree(stack);
    }
    if (!previousProc) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return CallWindowProcA(previousProc, window, message, wParam, lParam);
}
