// Gadgets: creation, registration, teardown, text and the routing of parent messages.
#include "gui/gadgets.h"

#include <commctrl.h>
#include <cstring>
#include "gui/gadget_colours.h"
#include "gui/gadget_lists.h"
#include "gui/layer_numbers.h"
#include "gui/layer_posts.h"
#include "gui/message_gate.h"
#include "gui/window_table.h"
#include "runtime/string_workspace.h"
#include "runtime/threads.h"

namespace {

HFONT defaultFont = nullptr;
// The platform's "Edit" procedure, which StringFocusProc passes every message on to.
WNDPROC editClassProc = nullptr;

const char GADGET_ID_PROPERTY[] = "GX_ID";

constexpr LONG_PTR NO_IDENTIFIER = -1;
// The common control classes that the layer's windows may hold beside its own gadgets.
constexpr DWORD COMMON_CONTROL_CLASSES =
    ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;
constexpr DWORD TEXT_BASE_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP;
constexpr DWORD STRING_BASE_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD BUTTON_BASE_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP;

int32_t ButtonGetState(GadgetRecord* record) {
    return static_cast<int32_t>(SendMessageA(record->control, BM_GETCHECK, 0, 0) & 1);
}

void ButtonSetState(GadgetRecord* record, int32_t state) {
    SendMessageA(record->control, BM_SETCHECK, state ? 1 : 0, 0);
}

// Each descriptor is filled on the first creation of its kind, which may come from any thread;
// the one-time fill publishes it only once it is complete.
struct KindDescriptor {
    RunOnceFlag filled;
    GadgetClass gadgetClass;
    void (*fill)(GadgetClass* gadgetClass);
};

// Text and string gadgets paint with colours of their own; they differ in the colour messages
// they answer.
void FillColourSlots(GadgetClass* gadgetClass, GadgetParentMessage colourHandler) {
    gadgetClass->parentMessage = colourHandler;
    gadgetClass->release = ColourRelease; // gives back the background brush
    gadgetClass->setColour = ColourSetter;
    gadgetClass->getColour = ColourGetter;
}

void FillTextClass(GadgetClass* text) {
    text->kind = GadgetKind::Text;
    FillColourSlots(text, TextColourHandler);
}

void FillStringClass(GadgetClass* string) {
    string->kind = GadgetKind::String;
    FillColourSlots(string, StringColourHandler);
}

void FillButtonClass(GadgetClass* button) {
    button->kind = GadgetKind::Button;
    button->getState = ButtonGetState;
    button->setState = ButtonSetState;
}

KindDescriptor textKind = {{}, {}, FillTextClass};
KindDescriptor stringKind = {{}, {}, FillStringClass};
KindDescriptor buttonKind = {{}, {}, FillButtonClass};

bool FillDescriptor(void* context) {
    KindDescriptor* descriptor = static_cast<KindDescriptor*>(context);
    std::memset(&descriptor->gadgetClass, 0, sizeof descriptor->gadgetClass);
    descriptor->gadgetClass.size = sizeof(GadgetClass);
    descriptor->fill(&descriptor->gadgetClass);
    return true;
}

const GadgetClass* Descriptor(KindDescriptor* descriptor) {
    RunOnce(&descriptor->filled, FillDescriptor, descriptor);
    return &descriptor->gadgetClass;
}

// The steps all kinds share. `prepare` runs once the entry is taken, before registration.
intptr_t CreateGadget(KindDescriptor* kind, const char* className, DWORD style, DWORD extendedStyle,
                      intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                      const char* text, void (*prepare)(GadgetRecord* record, HWND control)) {
    const GadgetClass* gadgetClass = Descriptor(kind);
    GadgetListState* state = CurrentGadgetListState();
    HWND parent = state ? state->currentParent : nullptr;
    if (!GadgetTable() || !parent) {
        return 0;
    }
    HWND control = CreateWindowExA(extendedStyle, className, text ? text : "", style, x, y, width,
                                   height, parent, reinterpret_cast<HMENU>(NO_IDENTIFIER),
                                   GetModuleHandleA(nullptr), nullptr);
    if (!control) {
        return 0;
    }
    // Taking a number in use destroys the old control; its teardown empties the entry.
    GadgetRecord* record = static_cast<GadgetRecord*>(ObjectTableAllocate(GadgetTable(), number));
    if (!record) {
        DestroyWindow(control);
        return 0;
    }
    if (prepare) {
        prepare(record, control);
    }
    return RegisterGadget(number, record, control, gadgetClass);
}

void PrepareColours(GadgetRecord* record, HWND) {
    record->backColour = GADGET_COLOUR_NONE;
    record->frontColour = GADGET_COLOUR_NONE;
}

void PrepareString(GadgetRecord* record, HWND control) {
    PrepareColours(record, control);
    // Every edit control has the same class procedure, so one shared copy serves them all.
    editClassProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StringFocusProc)));
}

void TearDown(HWND control) {
    GadgetRecord* record = GadgetOfControl(control);
    if (!record) {
        return;
    }
    const intptr_t number = GetWindowLongPtrA(control, GWLP_ID);
    const GadgetClass* gadgetClass = record->gadgetClass;
    if (gadgetClass && gadgetClass->release) {
        gadgetClass->release(record);
    }
    RemovePropA(control, GADGET_ID_PROPERTY);
    // A late message finds no number and goes to the default procedure.
    SetWindowLongPtrA(control, GWLP_ID, NO_IDENTIFIER);
    ObjectTableFree(GadgetTable(), number);
}

} // namespace

bool InitGadgetLayer() {
    BrushCacheInit();
    defaultFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const bool table = GadgetTableCreate(DestroyGadget);
    // The list state takes the default font, so the font comes first.
    const bool lists = GadgetListStateInit(defaultFont);
    INITCOMMONCONTROLSEX classes = {};
    classes.dwSize = sizeof classes;
    classes.dwICC = COMMON_CONTROL_CLASSES;
    InitCommonControlsEx(&classes);
    return table && lists;
}

intptr_t CreateTextGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                          const char* text, int32_t flags) {
    const DWORD extended = (flags & GADGET_FLAG_BORDER) ? WS_EX_CLIENTEDGE : 0;
    return CreateGadget(&textKind, "Static", static_cast<DWORD>(flags) | TEXT_BASE_STYLE, extended,
                        number, x, y, width, height, text, PrepareColours);
}

intptr_t CreateStringGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* text, int32_t flags) {
    const DWORD extended = (flags & GADGET_FLAG_BORDER) ? 0 : WS_EX_CLIENTEDGE;
    return CreateGadget(&stringKind, "Edit", static_cast<DWORD>(flags) | STRING_BASE_STYLE,
                        extended, number, x, y, width, height, text, PrepareString);
}

intptr_t CreateButtonGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* text, int32_t flags) {
    return CreateGadget(&buttonKind, "Button", static_cast<DWORD>(flags) | BUTTON_BASE_STYLE, 0,
                        number, x, y, width, height, text, nullptr);
}

intptr_t RegisterGadget(intptr_t number, GadgetRecord* record, HWND control,
                        const GadgetClass* gadgetClass) {
    if (number == AUTO_NUMBER) {
        number = reinterpret_cast<intptr_t>(record);
    }
    record->control = control;
    record->gadgetClass = gadgetClass;
    record->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetProc)));
    SetWindowLongPtrA(control, GWLP_ID, number);
    SetPropA(control, GADGET_ID_PROPERTY, reinterpret_cast<HANDLE>(number));
    GadgetListState* state = CurrentGadgetListState();
    if (state) {
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), TRUE);
    }
    if (number == reinterpret_cast<intptr_t>(record)) {
        return number;
    }
    return reinterpret_cast<intptr_t>(control);
}

LRESULT CALLBACK GadgetProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    // A forged destruction would tear the record down while the control lives on.
    if (CheckMessage(control, message, lParam) == GateVerdict::DROP) {
        return 0;
    }
    GadgetRecord* record = GadgetOfControl(control);
    if (!record || !record->previousProc) {
        return DefWindowProcA(control, message, wParam, lParam);
    }
    LRESULT result = CallWindowProcA(record->previousProc, control, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        TearDown(control);
    }
    return result;
}

// GadgetProc, installed over this procedure, has asked the gate already.
LRESULT CALLBACK StringFocusProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    // The notice is posted, not sent, so it arrives after the focus change is complete.
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
        int32_t type = message == WM_SETFOCUS ? FOCUS_GAINED : FOCUS_LOST;
        PostLayerMessage(FindOwningWindow(control), GADGET_FOCUS_NOTICE,
                         static_cast<WPARAM>(GetWindowLongPtrA(control, GWLP_ID)), type);
    }
    if (!editClassProc) {
        return DefWindowProcA(control, message, wParam, lParam);
    }
    return CallWindowProcA(editClassProc, control, message, wParam, lParam);
}

HWND FindOwningWindow(HWND window) {
    for (;;) {
        HWND parent = GetParent(window);
        if (!parent || WindowNumberOf(window) != -1) {
            return window;
        }
        window = parent;
    }
}

int32_t ReadGadgetText(intptr_t number, int32_t offset) {
    GadgetRecord* record = FindGadget(number);
    if (!record) {
        return 0;
    }
    const GadgetClass* gadgetClass = record->gadgetClass;
    if (gadgetClass && gadgetClass->getText) {
        return gadgetClass->getText(record, offset);
    }
    HWND control = record->control;
    int32_t announced = GetWindowTextLengthA(control);
    if (announced < 0) {
        announced = 0;
    }
    char* at = WorkspaceReserve(announced, offset);
    if (!at) {
        return 0;
    }
    at[0] = '\0';
    int32_t written = GetWindowTextA(control, at, announced + 1);
    // The platform may deliver fewer characters than it announced.
    if (written < 0) {
        written = 0;
    } else if (written > announced) {
        written = announced;
    }
    at[written] = '\0';
    return WorkspaceGiveBack(announced - written);
}

int32_t ReadGadgetTextInto(intptr_t number, char* buffer, int32_t size) {
    if (!buffer || size <= 0) {
        return 0;
    }
    buffer[0] = '\0';
    // Take the handle at once: the record belongs to the thread that owns the windows.
    HWND control = GadgetHandle(number);
    if (!control) {
        return 0;
    }
    // From another thread this sends WM_GETTEXT, which the owning thread answers in its wait.
    int32_t length = GetWindowTextA(control, buffer, size);
    if (length < 0) {
        length = 0;
    } else if (length > size - 1) {
        length = size - 1;
    }
    buffer[length] = '\0';
    return length;
}

void WriteGadgetText(intptr_t number, const char* text) {
    if (!text) {
        text = "";
    }
    GadgetRecord* record = FindGadget(number);
    if (!record) {
        return;
    }
    const GadgetClass* gadgetClass = record->gadgetClass;
    if (gadgetClass && gadgetClass->setText) {
        gadgetClass->setText(record, text);
        return;
    }
    SetWindowTextA(record->control, text);
}

void DestroyGadget(intptr_t number) {
    GadgetRecord* record = FindGadget(number);
    if (!record) {
        return;
    }
    HWND control = record->control;
    // The teardown in GadgetProc frees the entry. A control that is already gone has left a
    // stale entry behind; free it here so that the number can be taken again.
    if (!DestroyWindow(control) && !IsWindow(control)) {
        ObjectTableFree(GadgetTable(), number);
    }
}

LRESULT DispatchGadgetMessage(HWND control, HWND parent, UINT message, WPARAM wParam,
                              LPARAM lParam) {
    if (!control) {
        return NOT_HANDLED;
    }
    // A control that this layer did not register (or an inner part of a compound control)
    // does not carry its identifier as "GX_ID".
    const intptr_t number = GetWindowLongPtrA(control, GWLP_ID);
    if (reinterpret_cast<intptr_t>(GetPropA(control, GADGET_ID_PROPERTY)) != number) {
        return NOT_HANDLED;
    }
    // An unregistered control with identifier 0 passes the test above: the record must be
    // the control's own.
    GadgetRecord* record = GadgetOfControl(control);
    if (!record || !record->gadgetClass || !record->gadgetClass->parentMessage) {
        return NOT_HANDLED;
    }
    return record->gadgetClass->parentMessage(record, parent, message, wParam, lParam);
}
