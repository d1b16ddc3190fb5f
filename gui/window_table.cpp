// The window table and the numbered windows' mark.
#include "gui/window_table.h"

// The window table itself.
template <>
ObjectTable* WindowRegistry::table_ = nullptr;

namespace {

constexpr int32_t WINDOW_TABLE_STEP = 16;

// Sets one field of a number's record; false when the number holds no window.
template <typename Field>
bool SetRecordField(intptr_t number, Field WindowRecord::*field, Field value) {
    WindowRecord* record = FindWindowRecord(number);
    if (!record) {
        return false;
    }
    record->*field = value;
    return true;
}

} // namespace

bool WindowTableCreate(ObjectTableHook closeHolder) {
    return WindowRegistry::Create(WINDOW_TABLE_STEP, closeHolder);
}

intptr_t WindowNumberOf(HWND window) {
    if (!window) {
        return -1;
    }
    return reinterpret_cast<intptr_t>(GetPropA(window, WINDOW_ID_PROPERTY)) - 1;
}

void MarkNumberedWindow(HWND window, intptr_t number) {
    SetPropA(window, WINDOW_ID_PROPERTY, reinterpret_cast<HANDLE>(number + 1));
}

void UnmarkNumberedWindow(HWND window) {
    RemovePropA(window, WINDOW_ID_PROPERTY);
}

bool SetWindowCallback(intptr_t number, WindowCallback callback) {
    return SetRecordField(number, &WindowRecord::callback, callback);
}

bool SetWindowBackground(intptr_t number, HBRUSH brush) {
    WindowRecord* record = FindWindowRecord(number);
    if (!record) {
        return false;
    }
    if (record->backgroundBrush && record->backgroundBrush != brush) {
        DeleteObject(record->backgroundBrush);
    }
    record->backgroundBrush = brush;
    InvalidateRect(record->handle, nullptr, TRUE);
    return true;
}

bool SetWindowEraseHook(intptr_t number, EraseHook hook) {
    return SetRecordField(number, &WindowRecord::eraseHook, hook);
}

bool SetWindowSizeLimits(intptr_t number, uint16_t minWidth, uint16_t minHeight, uint16_t maxWidth,
                         uint16_t maxHeight) {
    WindowRecord* record = FindWindowRecord(number);
    if (!record) {
        return false;
    }
    record->minWidth = minWidth;
    record->minHeight = minHeight;
    record->maxWidth = maxWidth;
    record->maxHeight = maxHeight;
    return true;
}
