// The message gate: who may send each message, and what becomes of one that another sent.
#include "gui/message_gate.h"

#include "gui/gadget_table.h"
#include "gui/layer_numbers.h"
#include "gui/layer_posts.h"

namespace {

enum class Sender : unsigned char {
    // The system, on the window's own thread: it never posts these, nor sends them from another.
    SYSTEM,
    // The layer: a post it noted, or a send on the window's own thread (the program itself).
    LAYER,
    // A gadget of ours inside the window, or our command bar, as named in lParam. A message that
    // names no control (lParam 0: a menu, an accelerator, the window's own scroll bar) is
    // anyone's.
    OUR_GADGET,
    // The same, named by the header of a notification, which must be memory of this process.
    OUR_GADGET_NOTIFYING,
};

struct GateRule {
    UINT message;
    Sender sender;
    GateVerdict otherwise;
    UINT through = 0; // for a block of numbers: the last of them
};

// The whole policy, message by message. A post of the system's or the layer's rows that they did
// not make becomes WM_NULL as the thread takes it; a message that reaches a window procedure from
// a sender its row does not name gets `otherwise`. Any message that no rule names may come from
// anyone, among them the relayed click's first half (MSG_NOTIFY_CLICK), which a notification
// icon's callback posts.
const GateRule RULES[] = {
    {WM_CREATE, Sender::SYSTEM, GateVerdict::DROP},
    {WM_DESTROY, Sender::SYSTEM, GateVerdict::DROP},
    {WM_NCCREATE, Sender::SYSTEM, GateVerdict::DROP},
    {WM_NCDESTROY, Sender::SYSTEM, GateVerdict::DROP},
    {WM_COMMAND, Sender::OUR_GADGET, GateVerdict::DROP},
    {WM_NOTIFY, Sender::OUR_GADGET_NOTIFYING, GateVerdict::DEFAULT},
    {WM_HSCROLL, Sender::OUR_GADGET, GateVerdict::DEFAULT},
    {WM_VSCROLL, Sender::OUR_GADGET, GateVerdict::DEFAULT},
    {WM_CTLCOLOREDIT, Sender::OUR_GADGET, GateVerdict::DEFAULT},
    {WM_CTLCOLORLISTBOX, Sender::OUR_GADGET, GateVerdict::DEFAULT},
    {WM_CTLCOLORBTN, Sender::OUR_GADGET, GateVerdict::DEFAULT},
    {WM_CTLCOLORSTATIC, Sender::OUR_GADGET, GateVerdict::DEFAULT},
    {MSG_NOTIFY_CLICK_POSTED, Sender::LAYER, GateVerdict::DROP},
    // Events, focus notices, payloads, application events, forwards, and the unused rest.
    {LAYER_NUMBERS_FIRST, Sender::LAYER, GateVerdict::DROP, LAYER_NUMBERS_LAST},
};

HHOOK takenMessageHook = nullptr;

const GateRule* RuleFor(UINT message) {
    for (const GateRule& rule : RULES) {
        if (message == rule.message || (message > rule.message && message <= rule.through)) {
            return &rule;
        }
    }
    return nullptr;
}

// True when `size` bytes at `address` are committed, readable memory of this process.
bool IsReadable(const void* address, size_t size) {
    MEMORY_BASIC_INFORMATION region;
    if (!address || VirtualQuery(address, &region, sizeof region) != sizeof region) {
        return false;
    }
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (region.State != MEM_COMMIT || (region.Protect & PAGE_GUARD) != 0 ||
        (region.Protect & readable) == 0) {
        return false;
    }
    const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    return reinterpret_cast<uintptr_t>(address) + size <= end;
}

// Another process can name any window as the sender, one of its own with a gadget's identifier.
bool IsOurGadget(HWND window, HWND control) {
    if (!control || !IsChild(window, control) ||
        GetWindowThreadProcessId(control, nullptr) != GetCurrentThreadId()) {
        return false;
    }
    return GadgetOfControl(control) != nullptr ||
           GetWindowLongPtrA(control, GWLP_ID) == COMMAND_BAR_ID;
}

// The sender of a message that arrives at a window procedure. A post of the system's or the
// layer's rows got this far only past the hook; a send from another thread is marked as one.
bool MaySend(Sender sender, HWND window, LPARAM lParam) {
    switch (sender) {
    case Sender::SYSTEM:
    case Sender::LAYER:
        return !InSendMessage();
    case Sender::OUR_GADGET:
        return lParam == 0 || IsOurGadget(window, reinterpret_cast<HWND>(lParam));
    case Sender::OUR_GADGET_NOTIFYING:
        return IsOurGadget(window, NotificationSender(lParam));
    }
    return false;
}

// The sender of a post, which only the queue knows: the system posts none of its rows, the layer
// notes its own. The gadgets' rows are judged by what the message names, when it arrives.
bool MayPost(Sender sender, const MSG& message, bool removed) {
    switch (sender) {
    case Sender::SYSTEM:
        return false;
    case Sender::LAYER:
        return IsLayerPost(message.hwnd, message.message, message.wParam, message.lParam, removed);
    case Sender::OUR_GADGET:
    case Sender::OUR_GADGET_NOTIFYING:
        return true;
    }
    return false;
}

// Every message the thread takes from its queue passes here first, whichever loop takes it.
LRESULT CALLBACK CheckTakenMessage(int code, WPARAM removal, LPARAM lParam) {
    if (code == HC_ACTION) {
        MSG* message = reinterpret_cast<MSG*>(lParam);
        const GateRule* rule = RuleFor(message->message);
        if (rule && !MayPost(rule->sender, *message, (removal & PM_REMOVE) != 0)) {
            message->message = WM_NULL;
            message->wParam = 0;
            message->lParam = 0;
        }
    }
    return CallNextHookEx(takenMessageHook, code, removal, lParam);
}

} // namespace

bool InstallMessageGate() {
    if (takenMessageHook == nullptr) {
        takenMessageHook =
            SetWindowsHookExA(WH_GETMESSAGE, CheckTakenMessage, nullptr, GetCurrentThreadId());
    }
    return takenMessageHook != nullptr;
}

HWND NotificationSender(LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    return IsReadable(header, sizeof *header) ? header->hwndFrom : nullptr;
}

GateVerdict CheckMessage(HWND window, UINT message, LPARAM lParam) {
    const GateRule* rule = RuleFor(message);
    if (!rule || MaySend(rule->sender, window, lParam)) {
        return GateVerdict::PASS;
    }
    return rule->otherwise;
}
