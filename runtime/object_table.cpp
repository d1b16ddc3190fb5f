#include "runtime/object_table.h"

#include <cstring>

namespace {

bool IsSlot(const ObjectTable* table, intptr_t value) {
    return value >= 0 && value < table->capacity;
}

// A value without a slot names a dynamic record only while that record is in the list: the
// address of a freed record, or any stray value, is never read. The dynamic lists are short.
void* DynamicRecord(const ObjectTable* table, intptr_t value) {
    for (void* record = NodeListFirst(table->dynamicList); record != nullptr;
         record = NodeListNext(record)) {
        if (record == reinterpret_cast<void*>(value)) {
            return record;
        }
    }
    return nullptr;
}

unsigned char* SlotOf(const ObjectTable* table, intptr_t number) {
    return table->array + static_cast<size_t>(number) * static_cast<size_t>(table->entrySize);
}

bool FirstWordSet(const void* record) {
    uintptr_t first = 0;
    std::memcpy(&first, record, sizeof first);
    return first != 0;
}

bool Grow(ObjectTable* table, intptr_t number) {
    const int64_t capacity = static_cast<int64_t>(number) + table->step;
    const int64_t bytes = capacity * table->entrySize;
    if (capacity > INT32_MAX || bytes > INT32_MAX) {
        return false;
    }
    void* array = MainHeapReAlloc(table->array, static_cast<size_t>(bytes));
    if (array == nullptr) {
        return false;
    }
    table->array = static_cast<unsigned char*>(array);
    table->capacity = static_cast<int32_t>(capacity);
    return true;
}

} // namespace

ObjectTable* ObjectTableCreate(int32_t entrySize, int32_t step, ObjectTableHook onAllocate) {
    // A step of 0 would grow the array to exactly the number asked for, one slot short of it.
    if (entrySize < static_cast<int32_t>(sizeof(void*)) || step <= 0) {
        return nullptr;
    }
    auto* table = static_cast<ObjectTable*>(MainHeapAlloc(sizeof(ObjectTable)));
    if (table == nullptr) {
        return nullptr;
    }
    table->entrySize = entrySize;
    table->step = step;
    table->capacity = step;
    table->onAllocate = onAllocate;
    table->array = static_cast<unsigned char*>(
        MainHeapAlloc(static_cast<size_t>(entrySize) * static_cast<size_t>(step)));
    if (table->array == nullptr) {
        MainHeapFree(table);
        return nullptr;
    }
    return table;
}

void* ObjectTableAllocate(ObjectTable* table, intptr_t number) {
    if (table == nullptr) {
        return nullptr;
    }
    if (number == AUTO_NUMBER) {
        return NodeListAdd(&table->dynamicList, static_cast<size_t>(table->entrySize));
    }
    if (number < 0) {
        return nullptr;
    }
    if (number >= table->capacity && !Grow(table, number)) {
        return nullptr;
    }
    if (table->onAllocate != nullptr) {
        table->onAllocate(number);
    }
    // The hook may have touched the table, so the slot is found only now.
    return SlotOf(table, number);
}

void* ObjectTableFind(ObjectTable* table, intptr_t value) {
    if (table == nullptr) {
        return nullptr;
    }
    void* record = IsSlot(table, value) ? SlotOf(table, value) : DynamicRecord(table, value);
    return record != nullptr && FirstWordSet(record) ? record : nullptr;
}

void ObjectTableFree(ObjectTable* table, intptr_t value) {
    if (table == nullptr) {
        return;
    }
    if (IsSlot(table, value)) {
        std::memset(SlotOf(table, value), 0, static_cast<size_t>(table->entrySize));
    } else if (void* record = DynamicRecord(table, value)) {
        NodeListRemove(&table->dynamicList, record);
    }
}

void ObjectTableRewind(ObjectTable* table) {
    if (table == nullptr) {
        return;
    }
    table->walkIndex = 0;
    table->walkNode = NodeListLast(table->dynamicList);
}

void* ObjectTableNext(ObjectTable* table, intptr_t* numberOut) {
    if (table == nullptr) {
        return nullptr;
    }
    while (table->walkIndex >= 0 && table->walkIndex < table->capacity) {
        const intptr_t number = table->walkIndex++;
        void* slot = SlotOf(table, number);
        if (FirstWordSet(slot)) {
            if (numberOut != nullptr) {
                *numberOut = number;
            }
            return slot;
        }
    }
    void* record = table->walkNode;
    if (record == nullptr) {
        return nullptr;
    }
    // Moving on before handing the record out lets the caller free it.
    table->walkNode = NodeListPrev(record);
    if (numberOut != nullptr) {
        *numberOut = reinterpret_cast<intptr_t>(record);
    }
    return record;
}
