// The class procedure of every numbered window.
#include "gui/window_procedure.h"

#include "gui/layer_numbers.h"
#include "gui/layer_posts.h"
#include "gui/message_gate.h"
#include "gui/message_translation.h"

namespace {

// The multiple-document client inside a window, as a frame names it; nothing of this layer sets
// it, but a window that carries it gets the frame's default handling.
const char MDI_GADGET_PROPERTY[] = "GX_MDI_Gadget";

// A window with a multiple-document client has the frame's default procedure: it takes what the
// layer leaves, and focus changes, menu keys and menu commands whatever the layer made of them.
LRESULT FrameResult(HWND window, HWND client, UINT message, WPARAM wParam, LPARAM lParam,
                    LRESULT result) {
    if (result == NOT_HANDLED || message == WM_SETFOCUS || message == WM_MENUCHAR) {
        return DefFrameProcA(window, client, message, wParam, lParam);
    }
    if (message == WM_COMMAND && lParam == 0) {
        return DefFrameProcA(window, client, WM_COMMAND, wParam, 0);
    }
    return result;
}

} // namespace

LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = NOT_HANDLED;
    switch (CheckMessage(window, message, lParam)) {
    case GateVerdict::DROP:
        return 0;
    case GateVerdict::DEFAULT:
        break;
    case GateVerdict::PASS:
        result = TranslateWindowMessage(window, message, wParam, lParam);
        break;
    }
    // Whatever the callback made of it: the layer's posts to a window that goes are given back.
    if (message == WM_NCDESTROY) {
        GiveBackWindowMessages(window);
    }
    if (message != WM_SIZE) {
        if (HWND client = static_cast<HWND>(GetPropA(window, MDI_GADGET_PROPERTY))) {
            return FrameResult(window, client, message, wParam, lParam, result);
        }
    }
    SetLastError(0);
    if (result == NOT_HANDLED) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return result;
}
