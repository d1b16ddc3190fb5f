// Private heaps, node lists and process-wide records.
//
// The runtime keeps its memory in three private heaps: the MainHeap (tables, records and side
// blocks of the window and gadget services; destroyed last at shut-down), the NodeHeap (every
// NodeList node and nothing else; never destroyed) and the StringHeap (string_workspace.h).
#pragma once

#include <windows.h>
#include <cstddef>

// Creation and destruction of the heaps, called by the start-up and shut-down sequence.
// Each returns false when the platform refuses the heap.
bool MainHeapCreate();
void MainHeapDestroy();
bool NodeHeapCreate();

// Zero-filled blocks of the MainHeap; null when the heap cannot supply one.
void* MainHeapAlloc(size_t size);
// Resizes a MainHeap block, zero-filling what is added; null (block unchanged) on failure.
void* MainHeapReAlloc(void* block, size_t size);
void MainHeapFree(void* block);

// A doubly linked list whose nodes carry `next` and `prev` ahead of a zero-filled payload.
// The head is one word owned by the list's user, null when empty. Callers see only payload
// addresses. New nodes go to the head, so `next` walks newest first and `prev` oldest first.
struct ListNode {
    ListNode* next; // the node added before this one
    ListNode* prev; // the node added after this one; null for the head node
};
using NodeList = ListNode*;

// Returns the zero-filled payload of a new head node, or null when the NodeHeap is exhausted.
void* NodeListAdd(NodeList* head, size_t payloadSize);
void NodeListRemove(NodeList* head, void* payload);

// Walking by payload address. Read the successor before removing the current entry.
void* NodeListFirst(NodeList head); // newest payload, or null
void* NodeListLast(NodeList head);  // oldest payload, or null
void* NodeListNext(void* payload);  // the next older payload, or null
void* NodeListPrev(void* payload);  // the next newer payload, or null
ListNode* NodeOfPayload(void* payload);
void* PayloadOfNode(ListNode* node);

// A zero-filled process-wide record of the MainHeap, allocated once at start-up and shared by
// all threads. The initialiser, when given, prepares it. Null when the heap cannot supply it.
void* AllocGlobalRecord(size_t size, void (*initialiser)(void* record));
// The instance of a global record to use; in this program the record itself.
void* CurrentRecord(void* record);

// A global record of type T as the unit that keeps it holds it: allocated by Init, and null from
// Current until then (or when the heap could not supply it).
template <typename T>
class GlobalRecordOf {
  public:
    bool Init(void (*initialiser)(void* record) = nullptr) {
        record_ = AllocGlobalRecord(sizeof(T), initialiser);
        return record_ != nullptr;
    }
    T* Current() const { return record_ ? static_cast<T*>(CurrentRecord(record_)) : nullptr; }

  private:
    void* record_ = nullptr;
};

// The heap handles, for code that must name a heap directly (tests, the string workspace).
HANDLE MainHeapHandle();
HANDLE NodeHeapHandle();
