// The layer's two numbered registries, of windows and of gadgets: an object table whose records
// each stand for one platform window. One table per kind of record, with the same lookups, which
// each table's header names for its users (FindGadget is GadgetRegistry::Find).
#pragma once

#include <windows.h>
#include <cstdint>
#include "runtime/object_table.h"

// `window` names the record's field that holds its platform window; a present record has one.
template <typename Record, HWND Record::*window>
class NumberedRegistry {
  public:
    // Taking a number that is in use calls `closeHolder` with it first.
    static bool Create(int32_t step, ObjectTableHook closeHolder) {
        table_ = ObjectTableCreate(sizeof(Record), step, closeHolder);
        return table_ != nullptr;
    }
    static ObjectTable* Table() { return table_; }
    // The record of a number (or AUTO_NUMBER address), or null.
    static Record* Find(intptr_t number) {
        return static_cast<Record*>(ObjectTableFind(table_, number));
    }
    // The platform window of a number, or null.
    static HWND Window(intptr_t number) {
        const Record* record = Find(number);
        return record ? record->*window : nullptr;
    }

  private:
    // One table per kind of record, defined by the unit that keeps those records.
    static ObjectTable* table_;
};
