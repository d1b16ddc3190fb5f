// Node lists, global records and numbered object tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/memory_heaps.h"
#include "runtime/object_table.h"
#include "tests/support/layers.h"

namespace {

class TablesTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testsupport::StartRuntime()); }
};

std::vector<int> WalkByNext(NodeList head) {
    std::vector<int> values;
    for (void* p = NodeListFirst(head); p != nullptr; p = NodeListNext(p)) {
        values.push_back(*static_cast<int*>(p));
    }
    return values;
}

std::vector<int> WalkByPrev(NodeList head) {
    std::vector<int> values;
    for (void* p = NodeListLast(head); p != nullptr; p = NodeListPrev(p)) {
        values.push_back(*static_cast<int*>(p));
    }
    return values;
}

TEST_F(TablesTest, NodeListKeepsOrderAndLinksThroughRemovals) {
    NodeList head = nullptr;
    void* payloads[4] = {};
    for (int i = 1; i <= 3; ++i) {
        payloads[i] = NodeListAdd(&head, sizeof(int));
        ASSERT_NE(payloads[i], nullptr);
        *static_cast<int*>(payloads[i]) = i;
    }
    EXPECT_EQ(WalkByNext(head), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(WalkByPrev(head), (std::vector<int>{1, 2, 3}));

    NodeListRemove(&head, payloads[3]); // the head
    EXPECT_EQ(head->prev, nullptr);
    EXPECT_EQ(WalkByNext(head), (std::vector<int>{2, 1}));
    NodeListRemove(&head, payloads[1]); // the oldest
    EXPECT_EQ(NodeOfPayload(payloads[2])->next, nullptr);
    EXPECT_EQ(WalkByPrev(head), (std::vector<int>{2}));
    NodeListRemove(&head, payloads[2]); // the only one
    EXPECT_EQ(head, nullptr);

    // A middle node goes without disturbing its neighbours.
    for (int i = 1; i <= 3; ++i) {
        payloads[i] = NodeListAdd(&head, sizeof(int));
        *static_cast<int*>(payloads[i]) = i;
    }
    NodeListRemove(&head, payloads[2]);
    EXPECT_EQ(WalkByNext(head), (std::vector<int>{3, 1}));
    EXPECT_EQ(WalkByPrev(head), (std::vector<int>{1, 3}));
    NodeListRemove(&head, payloads[1]);
    NodeListRemove(&head, payloads[3]);
    EXPECT_EQ(head, nullptr);
}

TEST_F(TablesTest, NewPayloadsAreZeroEvenWhenTheHeapReusesANode) {
    NodeList head = nullptr;
    for (int round = 0; round < 50; ++round) {
        auto* bytes = static_cast<unsigned char*>(NodeListAdd(&head, 64));
        ASSERT_NE(bytes, nullptr);
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(bytes[i], 0) << "round " << round << " byte " << i;
        }
        std::memset(bytes, 0xAB, 64);
        NodeListRemove(&head, bytes);
    }
}

int initialiserCalls = 0;
void* initialisedRecord = nullptr;

TEST_F(TablesTest, GlobalRecordIsZeroedInitialisedAndItsOwnInstance) {
    auto* record = static_cast<unsigned char*>(AllocGlobalRecord(40, [](void* r) {
        ++initialiserCalls;
        initialisedRecord = r;
    }));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(initialiserCalls, 1);
    EXPECT_EQ(initialisedRecord, record);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(record[i], 0);
    }
    EXPECT_EQ(CurrentRecord(record), record);
    EXPECT_NE(AllocGlobalRecord(8, nullptr), nullptr);
}

struct Entry {
    uintptr_t handle;
    int value;
};

ObjectTable* hookTable = nullptr;
std::vector<intptr_t> hookCalls;
bool slotPresentWhenHooked = false;

void CloseHook(intptr_t number) {
    hookCalls.push_back(number);
    slotPresentWhenHooked = ObjectTableFind(hookTable, number) != nullptr;
    ObjectTableFree(hookTable, number);
}

TEST_F(TablesTest, TableGrowsByNumberPlusStep) {
    ObjectTable* table = ObjectTableCreate(sizeof(Entry), 16, nullptr);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->capacity, 16);
    ObjectTableRewind(table);
    intptr_t out = 0;
    EXPECT_EQ(ObjectTableNext(table, &out), nullptr);

    auto* five = static_cast<Entry*>(ObjectTableAllocate(table, 5));
    five->handle = 55;
    five->value = 5;
    auto* sixteen = static_cast<Entry*>(ObjectTableAllocate(table, 16));
    ASSERT_NE(sixteen, nullptr);
    EXPECT_EQ(table->capacity, 32);
    sixteen->handle = 1616;
    ASSERT_NE(ObjectTableAllocate(table, 100), nullptr);
    EXPECT_EQ(table->capacity, 116);
    // What was filled survives the moves; the slots in between are empty.
    auto* found = static_cast<Entry*>(ObjectTableFind(table, 5));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->value, 5);
    EXPECT_NE(ObjectTableFind(table, 16), nullptr);
    for (intptr_t n = 17; n < 116; ++n) {
        EXPECT_EQ(ObjectTableFind(table, n), nullptr) << n;
    }
}

TEST_F(TablesTest, ReusingANumberRunsTheHookFirstAndHandsBackAnEmptySlot) {
    hookTable = ObjectTableCreate(sizeof(Entry), 16, CloseHook);
    ASSERT_NE(hookTable, nullptr);
    hookCalls.clear();
    auto* first = static_cast<Entry*>(ObjectTableAllocate(hookTable, 3));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(hookCalls, (std::vector<intptr_t>{3}));
    EXPECT_FALSE(slotPresentWhenHooked);
    first->handle = 0x1234;
    first->value = 7;

    auto* again = static_cast<Entry*>(ObjectTableAllocate(hookTable, 3));
    EXPECT_EQ(hookCalls, (std::vector<intptr_t>{3, 3}));
    EXPECT_TRUE(slotPresentWhenHooked);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->handle, 0u);
    EXPECT_EQ(again->value, 0);

    // Growth and the hook together: the slot is located after the hook ran.
    auto* distant = static_cast<Entry*>(ObjectTableAllocate(hookTable, 40));
    EXPECT_EQ(hookCalls.back(), 40);
    EXPECT_EQ(distant, static_cast<void*>(hookTable->array + 40 * sizeof(Entry)));

    // Dynamic records never run the hook and are distinct and zeroed.
    const size_t calls = hookCalls.size();
    auto* a = static_cast<Entry*>(ObjectTableAllocate(hookTable, AUTO_NUMBER));
    auto* b = static_cast<Entry*>(ObjectTableAllocate(hookTable, AUTO_NUMBER));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->handle, 0u);
    EXPECT_EQ(b->value, 0);
    EXPECT_EQ(hookCalls.size(), calls);
    EXPECT_GE(reinterpret_cast<intptr_t>(a), hookTable->capacity);
}

TEST_F(TablesTest, FindTestsOnlyTheFirstWordAndRejectsStrayValues) {
    ObjectTable* table = ObjectTableCreate(sizeof(Entry), 16, nullptr);
    auto* slot = static_cast<Entry*>(ObjectTableAllocate(table, 2));
    slot->value = 9;
    EXPECT_EQ(ObjectTableFind(table, 2), nullptr);
    slot->handle = 1;
    EXPECT_EQ(ObjectTableFind(table, 2), slot);

    auto* dynamic = static_cast<Entry*>(ObjectTableAllocate(table, AUTO_NUMBER));
    const intptr_t handle = reinterpret_cast<intptr_t>(dynamic);
    EXPECT_EQ(ObjectTableFind(table, handle), nullptr);
    dynamic->handle = 2;
    EXPECT_EQ(ObjectTableFind(table, handle), dynamic);

    // Numbers beyond the array and negative numbers have no record; nothing is dereferenced.
    for (intptr_t value : {intptr_t{16}, intptr_t{500}, intptr_t{-1}, intptr_t{-7}}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(ObjectTableFind(table, value), nullptr);
        ObjectTableFree(table, value);
    }
    EXPECT_EQ(ObjectTableAllocate(table, -2), nullptr);

    ObjectTableFree(table, 2);
    EXPECT_EQ(ObjectTableFind(table, 2), nullptr);
    EXPECT_EQ(slot->value, 0);
    ObjectTableFree(table, handle);
    // The freed record's address is no handle any more: found as nothing, freed as nothing.
    EXPECT_EQ(ObjectTableFind(table, handle), nullptr);
    ObjectTableFree(table, handle);
    Entry stray = {1, 1};
    EXPECT_EQ(ObjectTableFind(table, reinterpret_cast<intptr_t>(&stray)), nullptr);
}

TEST_F(TablesTest, WalkGivesNumbersAscendingThenDynamicOldestFirstAndSurvivesFreeing) {
    ObjectTable* table = ObjectTableCreate(sizeof(Entry), 16, nullptr);
    static_cast<Entry*>(ObjectTableAllocate(table, 3))->handle = 33;
    static_cast<Entry*>(ObjectTableAllocate(table, 1))->handle = 11;
    auto* a = static_cast<Entry*>(ObjectTableAllocate(table, AUTO_NUMBER));
    auto* b = static_cast<Entry*>(ObjectTableAllocate(table, AUTO_NUMBER));
    b->handle = 0xB; // A stays empty: dynamic records are reported whatever their first word

    std::vector<intptr_t> seen;
    ObjectTableRewind(table);
    intptr_t out = 0;
    while (void* record = ObjectTableNext(table, &out)) {
        seen.push_back(out);
        if (out == 1 || out == 3) {
            EXPECT_EQ(record, ObjectTableFind(table, out));
        } else {
            EXPECT_EQ(reinterpret_cast<intptr_t>(record), out);
        }
    }
    EXPECT_EQ(seen, (std::vector<intptr_t>{1, 3, reinterpret_cast<intptr_t>(a),
                                           reinterpret_cast<intptr_t>(b)}));

    // Freeing each record as it comes empties the table.
    ObjectTableRewind(table);
    int count = 0;
    while (ObjectTableNext(table, &out) != nullptr) {
        ObjectTableFree(table, out);
        ++count;
    }
    EXPECT_EQ(count, 4);
    EXPECT_EQ(table->dynamicList, nullptr);
    ObjectTableRewind(table);
    EXPECT_EQ(ObjectTableNext(table, &out), nullptr);
}

// Growth by number + step must give the number a slot: a step of 0 or less cannot.
TEST_F(TablesTest, StepOfZeroOrLessIsRefused) {
    for (int32_t step : {0, -1}) {
        SCOPED_TRACE(step);
        EXPECT_EQ(ObjectTableCreate(sizeof(Entry), step, nullptr), nullptr);
    }
}

} // namespace
