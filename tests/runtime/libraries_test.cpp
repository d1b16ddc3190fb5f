// Libraries under numbers and foreign calls of both calling conventions.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#if defined(_MSC_VER)
#include <intrin.h>
#endif

#include "runtime/libraries.h"
#include "runtime/object_table.h"
#include "tests/support/layers.h"

namespace {

const char PROBE[] = "runtime_call_probe.dll";

struct Probe {
    int calls;
    int count;
    intptr_t words[20];
};

bool ProbeLoaded() {
    return GetModuleHandleA(PROBE) != nullptr;
}

class LibrariesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::StartRuntime());
        LibraryCloseAll();
        ASSERT_FALSE(ProbeLoaded());
        ASSERT_NE(LibraryOpen(0, PROBE), 0);
        using StateFunction = Probe*(__cdecl*)();
        auto state = reinterpret_cast<StateFunction>(
            reinterpret_cast<void*>(LibraryGetFunction(0, "ProbeState")));
        ASSERT_NE(state, nullptr);
        probe = state();
    }
    void TearDown() override { LibraryCloseAll(); }

    Probe* probe = nullptr;
};

uintptr_t StackPointer() {
    uintptr_t pointer;
#if defined(_MSC_VER) && defined(_M_IX86)
    __asm mov pointer, esp;
#elif defined(_MSC_VER)
    pointer = reinterpret_cast<uintptr_t>(_AddressOfReturnAddress());
#elif defined(__x86_64__)
    asm volatile("movq %%rsp, %0" : "=r"(pointer));
#else
    asm volatile("movl %%esp, %0" : "=r"(pointer));
#endif
    return pointer;
}

// What the probe returns for these words (it wraps as unsigned words do).
intptr_t Expected(const intptr_t* words, int count) {
    uintptr_t sum = 0;
    for (int i = 0; i < count; ++i) {
        sum = sum * 3 + static_cast<uintptr_t>(words[i]);
    }
    return static_cast<intptr_t>(sum + 1000);
}

TEST_F(LibrariesTest, CallsPassWordsInOrderAndKeepTheStackForBothConventions) {
    // Full-width words in the registers and on the stack: a word cut to 32 bits, or one passed
    // in the wrong register, shows in a 64-bit build.
    const intptr_t words[20] = {11,         -2, 0x7FFFFFFF, static_cast<intptr_t>(0x80000000u),
                                INTPTR_MIN, 6,  7,          8,
                                9,          10, 11,         12,
                                13,         14, 15,         16,
                                17,         18, 19,         INTPTR_MAX};
    const struct {
        const char* name;
        int count;
    } rows[] = {{"Std0", 0},   {"Std1", 1},   {"Std2", 2},   {"Std20", 20},
                {"Cdecl0", 0}, {"Cdecl1", 1}, {"Cdecl2", 2}, {"Cdecl20", 20}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const uintptr_t before = StackPointer();
        for (int i = 0; i < 1000; ++i) {
            probe->calls = 0;
            ASSERT_EQ(LibraryCallWords(0, row.name, words, row.count), Expected(words, row.count));
            ASSERT_EQ(probe->calls, 1);
        }
        EXPECT_EQ(StackPointer(), before);
        EXPECT_EQ(probe->count, row.count);
        for (int i = 0; i < row.count; ++i) {
            EXPECT_EQ(probe->words[i], words[i]) << "word " << i;
        }
    }
}

TEST_F(LibrariesTest, TheTemplateFormsConvertTheirArguments) {
    int local = 0;
    EXPECT_EQ(LibraryCall(0, "Std0"), 1000);
    EXPECT_EQ(LibraryCall(0, "Cdecl1", -5), 995);
    EXPECT_EQ(probe->words[0], -5);
    LibraryCall(0, "Std2", &local, static_cast<uint8_t>(200));
    EXPECT_EQ(probe->words[0], reinterpret_cast<intptr_t>(&local));
    EXPECT_EQ(probe->words[1], 200);
    LibraryCall(0, "Cdecl20", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                20);
    EXPECT_EQ(probe->count, 20);
    EXPECT_EQ(probe->words[19], 20);
}

TEST_F(LibrariesTest, MissingFunctionsAndNumbersCallNothing) {
    probe->calls = 0;
    EXPECT_EQ(LibraryCall(0, "NoSuchFunction", 1, 2), 0);
    EXPECT_EQ(LibraryCall(0, nullptr), 0);
    EXPECT_EQ(LibraryCall(1, "Std0"), 0);
    EXPECT_EQ(LibraryCall(40, "Std0"), 0);
    EXPECT_EQ(LibraryCall(AUTO_NUMBER, "Std0"), 0);
    EXPECT_EQ(LibraryGetFunction(0, nullptr), nullptr);
    EXPECT_EQ(probe->calls, 0);
    EXPECT_EQ(LibraryOpen(1, "no_such_library_here.dll"), 0);
    EXPECT_EQ(LibraryCall(1, "Std0"), 0);
    LibraryClose(1);
    LibraryClose(33);
}

TEST_F(LibrariesTest, ReopeningANumberFreesTheOldLibraryEvenWhenTheNewOneFails) {
    // Opened again under the same number: still one load, undone by one close.
    const intptr_t module = LibraryOpen(0, PROBE);
    EXPECT_EQ(module, reinterpret_cast<intptr_t>(GetModuleHandleA(PROBE)));
    LibraryClose(0);
    EXPECT_FALSE(ProbeLoaded());

    ASSERT_NE(LibraryOpen(0, PROBE), 0);
    EXPECT_EQ(LibraryOpen(0, "no_such_library_here.dll"), 0);
    EXPECT_FALSE(ProbeLoaded());
    EXPECT_EQ(LibraryCall(0, "Std0"), 0);

    ASSERT_NE(LibraryOpen(0, PROBE), 0);
    EXPECT_EQ(LibraryOpen(0, nullptr), 0);
    EXPECT_FALSE(ProbeLoaded());
}

TEST_F(LibrariesTest, AutoNumberHandleWorksAsTheNumber) {
    LibraryClose(0);
    const intptr_t handle = LibraryOpen(AUTO_NUMBER, PROBE);
    ASSERT_NE(handle, 0);
    EXPECT_NE(handle, reinterpret_cast<intptr_t>(GetModuleHandleA(PROBE)));
    EXPECT_NE(LibraryGetFunction(handle, "Std1"), nullptr);
    EXPECT_EQ(LibraryCall(handle, "Std1", 7), 1007);
    LibraryClose(handle);
    EXPECT_FALSE(ProbeLoaded());
    EXPECT_EQ(LibraryOpen(AUTO_NUMBER, "no_such_library_here.dll"), 0);
    EXPECT_EQ(LibraryOpen(AUTO_NUMBER, nullptr), 0);
}

std::string Unloaded() {
    char list[1024] = "";
    GetEnvironmentVariableA("CALL_PROBE_UNLOADED", list, sizeof list);
    std::string text = list;
    for (char& c : text) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

TEST_F(LibrariesTest, CloseAllFreesNumbersAscendingThenDynamicOldestFirst) {
    // Copies of the probe under names of their own tell the frees apart.
    char folder[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);
    char self[MAX_PATH];
    GetModuleFileNameA(GetModuleHandleA(PROBE), self, MAX_PATH);
    std::string copies[5];
    const char* names[5] = {"probe_n3.dll", "probe_n1.dll", "probe_da.dll", "probe_db.dll",
                            "probe_n7.dll"};
    for (int i = 0; i < 5; ++i) {
        copies[i] = std::string(folder) + names[i];
        ASSERT_TRUE(CopyFileA(self, copies[i].c_str(), FALSE)) << copies[i];
    }
    LibraryClose(0);
    SetEnvironmentVariableA("CALL_PROBE_UNLOADED", "");
    ASSERT_NE(LibraryOpen(7, copies[4].c_str()), 0);
    ASSERT_NE(LibraryOpen(3, copies[0].c_str()), 0);
    ASSERT_NE(LibraryOpen(1, copies[1].c_str()), 0);
    ASSERT_NE(LibraryOpen(AUTO_NUMBER, copies[2].c_str()), 0);
    ASSERT_NE(LibraryOpen(AUTO_NUMBER, copies[3].c_str()), 0);
    LibraryClose(7);
    EXPECT_EQ(Unloaded(), "probe_n7.dll;");
    SetEnvironmentVariableA("CALL_PROBE_UNLOADED", "");
    LibraryCloseAll();
    EXPECT_EQ(Unloaded(), "probe_n1.dll;probe_n3.dll;probe_da.dll;probe_db.dll;");
    EXPECT_EQ(LibraryCall(1, "Std0"), 0);
    EXPECT_EQ(LibraryCall(3, "Std0"), 0);
    for (const std::string& copy : copies) {
        DeleteFileA(copy.c_str());
    }
}

} // namespace
