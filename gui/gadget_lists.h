// Gadget lists per window: new gadgets go into the current list's window; every window whose
// list has been current keeps its list's context while another list is current.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

struct GadgetListState {
    HWND currentParent;   // window in which new gadgets are created, or null
    HFONT font;           // font given to every new gadget
    HWND* containerStack; // owned by the state while its list is current
    int32_t depth;        // entries in use
    int32_t capacity;     // entries allocated
};

struct GadgetStack {
    HWND window;          // the window the record belongs to
    HWND currentParent;   // saved context of the window's list
    HWND* containerStack; // owned by the record while the list is not current, else null
    int32_t depth;        //
    int32_t capacity;     //
    WNDPROC previousProc; // the window's procedure that GadgetStackProc replaced
};

// Allocates the process's GadgetListState with the given font and a zeroed 10-entry container
// array (called by InitGadgetLayer); false when the heap cannot supply the record.
bool GadgetListStateInit(HFONT font);
// The process's GadgetListState (through CurrentRecord); null before GadgetListStateInit.
GadgetListState* CurrentGadgetListState();

// Makes the window's gadget list current and returns the previous list window (or null). A null
// window changes nothing and only returns the current list window.
HWND SwitchGadgetList(HWND window);
// Installed on every window that has a GadgetStack; frees it on WM_NCDESTROY.
LRESULT CALLBACK GadgetStackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// "GX_GadgetStack_" and the module handle in decimal, into a buffer of GADGET_STACK_NAME_SIZE.
constexpr size_t GADGET_STACK_NAME_SIZE = 40; // the longest 64-bit number fits
void FormatGadgetStackName(char* buffer);
