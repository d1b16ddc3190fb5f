// The string workspace, string variables and the number conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "runtime/string_workspace.h"
#include "tests/support/layers.h"

namespace {

// A text produced into the workspace the way a producer does it; returns its start offset.
int32_t ProduceText(const char* text) {
    StringWorkspace* workspace = Workspace();
    const int32_t start = workspace->position;
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    char* out = WorkspaceReserve(length, start);
    std::memcpy(out, text, static_cast<size_t>(length) + 1);
    WorkspaceGiveBack(0);
    return start;
}

class StringsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::StartRuntime());
        Workspace()->position = 0;
    }
};

// Runs first in the program (by its name's order in this file), while the workspace is fresh.
TEST(StringsFreshTest, WorkspaceGrowsExactlyWhenAReservationReachesCapacityMinusFour) {
    ASSERT_TRUE(testsupport::StartRuntime());
    StringWorkspace* workspace = Workspace();
    ASSERT_EQ(workspace->capacity, 16) << "the workspace must be fresh for this case";
    EXPECT_EQ(HeapSize(workspace->heap, 0, workspace->buffer), 16u);

    char* at = WorkspaceReserve(11, 0);
    EXPECT_EQ(at, workspace->buffer);
    EXPECT_EQ(workspace->capacity, 16);
    EXPECT_EQ(workspace->position, 11);
    EXPECT_EQ(WorkspaceGiveBack(11), 0);

    std::memcpy(workspace->buffer, "kept", 5);
    WorkspaceReserve(12, 0);
    EXPECT_EQ(workspace->capacity, 16396);
    EXPECT_EQ(HeapSize(workspace->heap, 0, workspace->buffer), 16401u);
    EXPECT_STREQ(workspace->buffer, "kept");
    EXPECT_EQ(workspace->position, 12);
    WorkspaceGiveBack(12);
}

TEST_F(StringsTest, AssignStringCopiesAndRewindsIncludingEmptyText) {
    StringWorkspace* workspace = Workspace();
    char* variable = nullptr;
    const int32_t start = ProduceText("");
    EXPECT_EQ(AssignString(&variable, start), start);
    ASSERT_NE(variable, nullptr);
    EXPECT_STREQ(variable, "");
    EXPECT_EQ(HeapSize(workspace->heap, 0, variable), 5u);
    EXPECT_EQ(workspace->position, start);

    // Each length exercises the word copy and the resized block.
    for (const char* text : {"888", "100", "Seitenl\xE4nge", "a", "abcdefghijklmnopq", "5"}) {
        SCOPED_TRACE(text);
        const int32_t at = ProduceText(text);
        AssignString(&variable, at);
        EXPECT_STREQ(variable, text);
        EXPECT_EQ(HeapSize(workspace->heap, 0, variable), std::strlen(text) + 5);
        EXPECT_EQ(workspace->position, at);
    }

    // A temporary under the caller protocol: the terminator belongs to it, then released.
    const int32_t saved = workspace->position;
    ProduceText("42");
    workspace->position += 1;
    EXPECT_EQ(ParseInteger(workspace->buffer + saved), 42);
    workspace->position = saved;
}

TEST_F(StringsTest, ParseIntegerTable) {
    const struct {
        const char* text;
        int64_t value;
        bool fits = true; // the number lies in the signed 64-bit range
    } rows[] = {
        {"  -$1F", -31},
        {"%101", 5},
        {"$fF", 255},
        {" +$10", 16},
        {"12abc", 12},
        {"3.7", 3},
        {"1e3", 1},
        {"0x1F", 0},
        {"$", 0},
        {"%2", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"", 0},
        {"\n5", 0},
        {"\t42", 42},
        {"888", 888},
        {"-100", -100},
        {"\xB2"
         "5",
         0}, // superscript two is no digit
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", INT64_MIN, false},
        {"-9223372036854775808", INT64_MIN},
        // Past the signed range below, wrapped into range as well.
        {"-18446744073709550728", 888, false},
        {"-$FFFFFFFFFFFFFC88", 888, false},
        {"18446744073709551616", 0, false},
        {"18446744073709551617", 1, false},
        {"18446744073709552504", 888, false},
        {"18446744073709551615", -1, false},
        {"$10000000000000378", 888, false},
        {"000000000000000000000000000888", 888}, // leading zeros never overflow
        {"$FFFFFFFFFFFFFFFF", -1, false},
        {"4294967296", 4294967296LL},
        {"-%11", -3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("text '") + row.text + "'");
        EXPECT_EQ(ParseInteger(row.text), row.value);
        int64_t value = 0;
        EXPECT_EQ(ParseIntegerFits(row.text, &value), row.fits);
        EXPECT_EQ(value, row.value);
    }
    EXPECT_EQ(ParseInteger(nullptr), 0);
}

// Delays in milliseconds to the microsecond, as a German user types them or with a point.
TEST_F(StringsTest, ParseDecimalTable) {
    const struct {
        const char* text;
        int32_t decimals;
        uint64_t value; // when read
        bool read;
    } rows[] = {
        {"0,1", 3, 100, true},
        {"0.05", 3, 50, true},
        {" 5\t", 3, 5000, true},
        {"4294967294", 3, UINT64_C(4294967294000), true},
        {"0,020", 3, 20, true},
        {"1,5000", 3, 1500, true}, // trailing zeros are no finer
        {",5", 3, 500, true},
        {"7.", 3, 7000, true},
        {"1000000", 0, 1000000, true},
        {"0,0205", 3, 0, false}, // finer than a microsecond
        {"1.0", 0, 0, false},
        {"-0,5", 3, 0, false},
        {"+5", 3, 0, false},
        {"1e-1", 3, 0, false},
        {"0,1,2", 3, 0, false},
        {"5 ms", 3, 0, false},
        {"", 3, 0, false},
        {",", 3, 0, false},
        {"$10", 3, 0, false},
        {"18446744073709552", 3, 0, false}, // 2^64 thousandths and more
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("text '") + row.text + "'");
        uint64_t value = 0;
        EXPECT_EQ(ParseDecimal(row.text, row.decimals, &value), row.read);
        if (row.read) {
            EXPECT_EQ(value, row.value);
        }
    }
}

TEST_F(StringsTest, ParseFloatUsesTheDecimalPointOnly) {
    const struct {
        const char* text;
        float value;
    } rows[] = {
        {"12,5", 12.0f}, {" 2.5e1", 25.0f}, {"", 0.0f},    {"abc", 0.0f},
        {"-0.5", -0.5f}, {"100", 100.0f},   {"0.1", 0.1f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseFloat(row.text), row.value);
    }
    EXPECT_EQ(ParseFloat(nullptr), 0.0f);
}

TEST_F(StringsTest, FormatFloatWritesFixedTextAndEndsOnTheTerminator) {
    const struct {
        float value;
        const char* text;
    } rows[] = {
        {0.25f, "0.250000"},
        {-3.0f, "-3.000000"},
        {0.1f, "0.100000"},
        {1234.5f, "1234.500000"},
        {0.0000004f, "0.000000"},
        {16777216.0f, "16777216.000000"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
        {std::numeric_limits<float>::quiet_NaN(), "nan"},
        {-std::numeric_limits<float>::quiet_NaN(), "nan"},
    };
    StringWorkspace* workspace = Workspace();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        // Start behind some other text, as a second temporary would.
        const int32_t before = ProduceText("x");
        workspace->position += 1;
        const int32_t start = workspace->position;
        const int32_t end = FormatFloat(row.value, start);
        EXPECT_EQ(end, start + static_cast<int32_t>(std::strlen(row.text)));
        EXPECT_EQ(workspace->position, end);
        EXPECT_STREQ(workspace->buffer + start, row.text);
        EXPECT_EQ(workspace->buffer[end], '\0');
        EXPECT_STREQ(workspace->buffer + before, "x");
        workspace->position = before;
    }
    // The largest value has a long text; it still fits the reservation.
    const int32_t start = workspace->position;
    FormatFloat(std::numeric_limits<float>::max(), start);
    EXPECT_EQ(std::strlen(workspace->buffer + start), 46u);
    workspace->position = start;
}

// A reservation that fails still leaves an empty text where the result is read, not the bytes
// of an earlier text. A heap of fixed size stands in for a StringHeap that cannot grow.
TEST_F(StringsTest, FormatFloatLeavesAnEmptyTextWhenItsReservationFails) {
    StringWorkspace* workspace = Workspace();
    const StringWorkspace saved = *workspace;
    // The block nearly fills the heap, and growth adds more than the heap has left.
    constexpr int32_t BLOCK = 0xC000;
    HANDLE fixed = HeapCreate(HEAP_NO_SERIALIZE, 0, 0x10000);
    ASSERT_NE(fixed, nullptr);
    char* block = static_cast<char*>(HeapAlloc(fixed, HEAP_NO_SERIALIZE, BLOCK));
    ASSERT_NE(block, nullptr);
    const int32_t at = BLOCK - 100;
    std::memcpy(block + at, "stale text", 11);
    *workspace = {fixed, block, at, BLOCK - 5};

    const int32_t end = FormatFloat(0.25f, at);
    const StringWorkspace after = *workspace;
    const char first = block[at];
    *workspace = saved;
    HeapDestroy(fixed);
    ASSERT_EQ(after.capacity, BLOCK - 5) << "the fixed heap grew the block";
    EXPECT_EQ(end, at);
    EXPECT_EQ(after.position, at);
    EXPECT_EQ(first, '\0');
}

} // namespace
