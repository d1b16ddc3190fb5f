#include "runtime/memory_heaps.h"

namespace {

HANDLE mainHeap = nullptr;
HANDLE nodeHeap = nullptr;

} // namespace

bool MainHeapCreate() {
    if (mainHeap == nullptr) {
        mainHeap = HeapCreate(0, 4096, 0);
    }
    return mainHeap != nullptr;
}

void MainHeapDestroy() {
    if (mainHeap != nullptr) {
        HeapDestroy(mainHeap);
        mainHeap = nullptr;
    }
}

bool NodeHeapCreate() {
    if (nodeHeap == nullptr) {
        // Threads other than the main one add nodes too, so a second creation must not race.
        HANDLE heap = HeapCreate(0, 1024, 0);
        if (heap == nullptr) {
            return false;
        }
        if (InterlockedCompareExchangePointer(&nodeHeap, heap, nullptr) != nullptr) {
            HeapDestroy(heap);
        }
    }
    return true;
}

HANDLE MainHeapHandle() {
    return mainHeap;
}
HANDLE NodeHeapHandle() {
    return nodeHeap;
}

void* MainHeapAlloc(size_t size) {
    if (mainHeap == nullptr) {
        return nullptr;
    }
    return HeapAlloc(mainHeap, HEAP_ZERO_MEMORY, size);
}

void* MainHeapReAlloc(void* block, size_t size) {
    if (mainHeap == nullptr) {
        return nullptr;
    }
    if (block == nullptr) {
        return HeapAlloc(mainHeap, HEAP_ZERO_MEMORY, size);
    }
    return HeapReAlloc(mainHeap, HEAP_ZERO_MEMORY, block, size);
}

void MainHeapFree(void* block) {
    if (mainHeap != nullptr && block != nullptr) {
        HeapFree(mainHeap, 0, block);
    }
}

ListNode* NodeOfPayload(void* payload) {
    return payload == nullptr ? nullptr : static_cast<ListNode*>(payload) - 1;
}

void* PayloadOfNode(ListNode* node) {
    return node == nullptr ? nullptr : node + 1;
}

void* NodeListAdd(NodeList* head, size_t payloadSize) {
    if (head == nullptr || !NodeHeapCreate()) {
        return nullptr;
    }
    auto* node = static_cast<ListNode*>(
        HeapAlloc(nodeHeap, HEAP_ZERO_MEMORY, sizeof(ListNode) + payloadSize));
    if (node == nullptr) {
        return nullptr;
    }
    if (*head != nullptr) {
        (*head)->prev = node;
        node->next = *head;
    }
    *head = node;
    return PayloadOfNode(node);
}

void NodeListRemove(NodeList* head, void* payload) {
    ListNode* node = NodeOfPayload(payload);
    if (head == nullptr || node == nullptr) {
        return;
    }
    if (node == *head) {
        *head = node->next;
        if (node->next != nullptr) {
            node->next->prev = nullptr;
        }
    } else {
        if (node->prev != nullptr) {
            node->prev->next = node->next;
        }
        if (node->next != nullptr) {
            node->next->prev = node->prev;
        }
    }
    HeapFree(nodeHeap, 0, node);
}

void* NodeListFirst(NodeList head) {
    return PayloadOfNode(head);
}

void* NodeListLast(NodeList head) {
    if (head == nullptr) {
        return nullptr;
    }
    ListNode* node = head;
    while (node->next != nullptr) {
        node = node->next;
    }
    return PayloadOfNode(node);
}

void* NodeListNext(void* payload) {
    ListNode* node = NodeOfPayload(payload);
    return node == nullptr ? nullptr : PayloadOfNode(node->next);
}

void* NodeListPrev(void* payload) {
    ListNode* node = NodeOfPayload(payload);
    return node == nullptr ? nullptr : PayloadOfNode(node->prev);
}

void* AllocGlobalRecord(size_t size, void (*initialiser)(void* record)) {
    void* record = MainHeapAlloc(size);
    if (record != nullptr && initialiser != nullptr) {
        initialiser(record);
    }
    return record;
}

void* CurrentRecord(void* record) {
    return record;
}
