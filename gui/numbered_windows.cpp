// Numbered top-level windows: open, close, close all, and the window layer's start-up.
#include "gui/numbered_windows.h"

#include <cstring>
#include "gui/event_queue.h"
#include "gui/gadget_lists.h"
#include "gui/message_gate.h"
#include "gui/sizing_tracker.h"
#include "gui/window_procedure.h"
#include "runtime/memory_heaps.h"
#include "runtime/string_workspace.h"

namespace {

HICON windowIcon = nullptr;
HCURSOR windowCursor = nullptr;

constexpr uint32_t CENTRING_FLAGS = WINDOW_CENTER_SCREEN | WINDOW_CENTER_PARENT;
constexpr int ACCELERATOR_COUNT = 2;
// The program's icon resource (resources/kalibrix.rc), every window's default icon.
constexpr WORD PROGRAM_ICON = 1;

HINSTANCE Instance() {
    return GetModuleHandleA(nullptr);
}

void RegisterWindowClass(const char* className) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowClassProc;
    windowClass.hInstance = Instance();
    windowClass.hIcon = windowIcon;
    windowClass.hCursor = windowCursor;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
}

// Tab and Shift+Tab; without the block the window simply has no Tab cycling.
void GiveAccelerators(WindowRecord* record) {
    ACCEL* entries = static_cast<ACCEL*>(MainHeapAlloc(sizeof(ACCEL) * ACCELERATOR_COUNT));
    if (!entries) {
        record->acceleratorCount = 0;
        return;
    }
    entries[0].fVirt = FVIRTKEY | FNOINVERT;
    entries[0].key = VK_TAB;
    entries[0].cmd = CMD_FOCUS_NEXT;
    entries[1].fVirt = FVIRTKEY | FNOINVERT | FSHIFT;
    entries[1].key = VK_TAB;
    entries[1].cmd = CMD_FOCUS_PREVIOUS;
    record->acceleratorEntries = entries;
    record->acceleratorCount = ACCELERATOR_COUNT;
    record->acceleratorTable = CreateAcceleratorTableA(entries, ACCELERATOR_COUNT);
}

// The slot for a number, its holder closed first. A holder that is being closed further up the
// stack stays in the slot until that close returns; the new window starts from a clean record and
// that close, finding another window there, leaves the slot alone.
WindowRecord* TakeSlot(intptr_t number) {
    auto* record = static_cast<WindowRecord*>(ObjectTableAllocate(WindowTable(), number));
    if (record && record->handle) {
        std::memset(record, 0, sizeof *record);
    }
    return record;
}

// The first window in the order of a walk that no close is taking down yet, or null.
WindowRecord* FirstOpenWindow(intptr_t* number) {
    ObjectTableRewind(WindowTable());
    while (auto* record = static_cast<WindowRecord*>(ObjectTableNext(WindowTable(), number))) {
        if (!record->closing) {
            return record;
        }
    }
    return nullptr;
}

// Centres a span of `size` on the reference span [low, high), never starting left of 0.
int32_t CentreOn(LONG low, LONG high, int32_t size) {
    int32_t position = low + (high - low - size) / 2;
    return position < 0 ? 0 : position;
}

} // namespace

// The whole number, also a 64-bit record address (XP's runtime knows %I64d).
void FormatWindowClassName(char* buffer, intptr_t number) {
    SystemSprintf(buffer, "WindowClass_%I64d", static_cast<long long>(number));
}

bool InitWindowLayer() {
    const bool table = WindowTableCreate(CloseNumberedWindow);
    const bool eventState = EventStateInit();
    windowIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(PROGRAM_ICON));
    windowCursor = LoadCursorA(nullptr, IDC_ARROW);
    const bool tracker = SizingTrackerInit();
    const bool gate = InstallMessageGate();
    return table && eventState && tracker && gate;
}

intptr_t OpenNumberedWindow(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            const char* title, uint32_t flags, HWND parent) {
    if (!WindowTable()) {
        return 0;
    }
    WindowRecord* record = TakeSlot(number);
    if (!record) {
        return 0;
    }
    bool automatic = number == AUTO_NUMBER;
    if (automatic) {
        number = reinterpret_cast<intptr_t>(record);
    }
    char className[WINDOW_CLASS_NAME_SIZE];
    FormatWindowClassName(className, number);
    RegisterWindowClass(className);

    bool switchList = (flags & WINDOW_KEEP_GADGET_LIST) == 0;
    flags &= ~WINDOW_KEEP_GADGET_LIST;
    // A window with no style of its own gets a title bar.
    if ((flags & ~(CENTRING_FLAGS | WINDOW_INVISIBLE)) == 0) {
        flags |= WS_CAPTION;
    }
    bool visible = (flags & WINDOW_INVISIBLE) == 0;
    flags &= ~WINDOW_INVISIBLE;
    DWORD style = flags & ~CENTRING_FLAGS;

    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, style, FALSE);
    int32_t outerWidth = outer.right - outer.left;
    int32_t outerHeight = outer.bottom - outer.top;

    if ((x == POSITION_DEFAULT || y == POSITION_DEFAULT) && (flags & CENTRING_FLAGS) == 0) {
        x = CW_USEDEFAULT;
        y = CW_USEDEFAULT;
    }
    if (flags & WINDOW_CENTER_SCREEN) {
        int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
        int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
        if (outerWidth > screenWidth) {
            outerWidth = screenWidth;
        }
        x = (screenWidth - outerWidth) / 2;
        if (outerHeight > screenHeight) {
            outerHeight = screenHeight;
        }
        y = (screenHeight - outerHeight) / 2;
    } else if (flags & WINDOW_CENTER_PARENT) {
        HWND reference = parent ? parent : GetActiveWindow();
        RECT area;
        if (reference && GetWindowRect(reference, &area)) {
            x = CentreOn(area.left, area.right, outerWidth);
            y = CentreOn(area.top, area.bottom, outerHeight);
        }
    }

    HWND handle = CreateWindowExA(0, className, title ? title : "", style, x, y, outerWidth,
                                  outerHeight, parent, nullptr, Instance(), nullptr);
    if (!handle) {
        // Creation runs user code, which may have given the number to a window of its own.
        if (automatic || !FindWindowRecord(number)) {
            UnregisterClassA(className, Instance());
            ObjectTableFree(WindowTable(), number);
        }
        return 0;
    }
    // Creation runs user code: opening a higher number moves the table's array, and a window
    // opened with this very number is closed here, as any re-use of a number closes its holder.
    if (!automatic) {
        record = TakeSlot(number);
        if (!record) {
            DestroyWindow(handle);
            return 0;
        }
    }
    record->handle = handle;
    MarkNumberedWindow(handle, number);

    if (visible) {
        int command = SW_SHOWNORMAL;
        if (style & WS_MAXIMIZE) {
            command = SW_SHOWMAXIMIZED;
        } else if (style & WS_MINIMIZE) {
            command = SW_SHOWMINIMIZED;
        }
        ShowWindow(handle, command);
    }
    // Showing sends messages that run user code; find the record anew.
    record = FindWindowRecord(number);
    if (!record || record->handle != handle) {
        return 0;
    }
    record->minOrMax = (style & (WS_MINIMIZE | WS_MAXIMIZE)) ? 1 : 0;
    GiveAccelerators(record);
    record->mdiClient = nullptr;

    if (switchList) {
        SwitchGadgetList(handle);
    }
    return automatic ? number : reinterpret_cast<intptr_t>(handle);
}

void CloseNumberedWindow(intptr_t number) {
    WindowRecord* record = FindWindowRecord(number);
    if (!record) {
        return;
    }
    // A callback run by the destruction below may close this number again: that close finds
    // the window on its way out and leaves it to this one.
    if (record->closing) {
        return;
    }
    HWND handle = record->handle;
    HWND owner = GetWindow(handle, GW_OWNER);
    if (owner && !record->mdiClient) {
        SetActiveWindow(owner);
        // Activation runs user code, which may have closed this window already.
        record = FindWindowRecord(number);
        if (!record || record->handle != handle) {
            return;
        }
    }
    // From here on the translation finds no window number for this window's messages.
    UnmarkNumberedWindow(handle);
    // Take out what is to be freed: destruction sends messages that may move the table's array
    // or re-use the number, and whatever then holds the slot must not free these a second time.
    HWND mdiClient = record->mdiClient;
    ACCEL* entries = record->acceleratorEntries;
    HACCEL table = record->acceleratorTable;
    HBRUSH brush = record->backgroundBrush;
    record->acceleratorEntries = nullptr;
    record->acceleratorTable = nullptr;
    record->backgroundBrush = nullptr;
    record->closing = 1;
    if (mdiClient) {
        SendMessageA(mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(handle), 0);
    } else {
        DestroyWindow(handle);
        char className[WINDOW_CLASS_NAME_SIZE];
        FormatWindowClassName(className, number);
        UnregisterClassA(className, Instance());
    }
    if (entries) {
        MainHeapFree(entries);
    }
    if (table) {
        DestroyAcceleratorTable(table);
    }
    if (brush) {
        DeleteObject(brush);
    }
    record = FindWindowRecord(number);
    if (record && record->handle == handle) {
        ObjectTableFree(WindowTable(), number);
    }
}

void CloseAllWindows() {
    // A close runs callbacks that may close or open other windows, which frees or moves records
    // under a walk: every close starts the walk anew instead of following its cursor.
    intptr_t number = 0;
    while (FirstOpenWindow(&number) != nullptr) {
        CloseNumberedWindow(number);
    }
    FreeEventPayload();
}
