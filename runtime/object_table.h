// Numbered object tables: small numbers chosen by the caller map to records in a growable
// array; AUTO_NUMBER asks for a dynamic record whose address then serves as its number.
#pragma once

#include <cstdint>
#include "runtime/memory_heaps.h"

constexpr intptr_t AUTO_NUMBER = -1;

// Called with a number each time the table hands out that number's slot; it closes whatever
// object holds the number, which empties the slot.
using ObjectTableHook = void (*)(intptr_t number);

struct ObjectTable {
    int32_t entrySize;          // bytes per record; the first word of a record is its handle
    int32_t step;               // growth step, also the initial capacity
    int32_t capacity;           // numbers 0 .. capacity - 1 have a slot
    NodeList dynamicList;       // AUTO_NUMBER records, newest at the head
    ObjectTableHook onAllocate; // or null
    int32_t walkIndex;          // walk cursor into the array
    void* walkNode;             // walk cursor into the dynamic list (a payload address)
    unsigned char* array;       // capacity * entrySize bytes, zero-filled
};

// Null when the MainHeap cannot supply the table, or the step is not above 0.
ObjectTable* ObjectTableCreate(int32_t entrySize, int32_t step, ObjectTableHook onAllocate);
// The record to fill for a number (0 or more) or AUTO_NUMBER; null when memory runs out or the
// number is negative and not AUTO_NUMBER.
void* ObjectTableAllocate(ObjectTable* table, intptr_t number);
// The present record (first word non-zero) of a number or dynamic handle, or null. A dynamic
// handle counts only while its record lives, so a stale or stray value finds nothing and frees
// nothing.
void* ObjectTableFind(ObjectTable* table, intptr_t value);
void ObjectTableFree(ObjectTable* table, intptr_t value);
// A walk yields present numbered records by rising number, then every dynamic record, oldest
// first. One walk per table at a time; the current record may be freed during the walk.
void ObjectTableRewind(ObjectTable* table);
void* ObjectTableNext(ObjectTable* table, intptr_t* numberOut);
