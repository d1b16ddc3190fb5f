// The brush cache: shared brushes by colour, deleted with their last holder, under its lock.
#include "gui/gadget_colours.h"

#include <gtest/gtest.h>

#include <process.h>
#include <vector>

#include "tests/support/layers.h"

namespace {

bool IsLiveBrush(HBRUSH brush) {
    return GetObjectType(brush) == OBJ_BRUSH;
}

class BrushCacheTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(testsupport::StartWindowLayer());
        ASSERT_TRUE(BrushCacheInit());
    }
    void TearDown() override { EXPECT_EQ(BrushCacheSize(), 0) << "a brush was left in the cache"; }
};

TEST_F(BrushCacheTest, SharesOneBrushPerColourAndDeletesItWithTheLastHolder) {
    HBRUSH red1 = AcquireBrush(RGB(255, 0, 0));
    HBRUSH blue = AcquireBrush(RGB(0, 0, 255));
    HBRUSH red2 = AcquireBrush(RGB(255, 0, 0));
    ASSERT_TRUE(red1 && blue && red2);
    EXPECT_EQ(red1, red2);
    EXPECT_NE(red1, blue);
    EXPECT_EQ(BrushCacheSize(), 2);

    LOGBRUSH info = {};
    ASSERT_EQ(GetObjectA(red1, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(info.lbColor, RGB(255, 0, 0));

    ReleaseBrush(red1);
    EXPECT_TRUE(IsLiveBrush(red2)) << "the first release deleted a brush still held";
    ReleaseBrush(red2);
    EXPECT_FALSE(IsLiveBrush(red2)) << "the last release left the brush alive";
    EXPECT_TRUE(IsLiveBrush(blue));

    // After the last release a new holder gets a brush of its own again.
    HBRUSH red3 = AcquireBrush(RGB(255, 0, 0));
    ASSERT_NE(red3, nullptr);
    EXPECT_TRUE(IsLiveBrush(red3));
    ReleaseBrush(red3);
    ReleaseBrush(blue);
    EXPECT_FALSE(IsLiveBrush(blue));
}

TEST_F(BrushCacheTest, IgnoresBrushesItDoesNotHold) {
    HBRUSH foreign = CreateSolidBrush(RGB(1, 2, 3));
    ReleaseBrush(foreign);
    ReleaseBrush(nullptr);
    EXPECT_TRUE(IsLiveBrush(foreign)) << "a brush the cache never handed out was deleted";
    DeleteObject(foreign);

    HBRUSH held = AcquireBrush(RGB(1, 2, 3));
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held, foreign);
    ReleaseBrush(held);
    ReleaseBrush(held); // one release too many must not touch anything
    EXPECT_FALSE(IsLiveBrush(held));
}

// Holders on several threads: no holder may ever see its brush deleted under it, and nothing
// may be left at the end.
struct Worker {
    int seed;
    int deadBrushes;
    int nullBrushes;
};

unsigned __stdcall HoldAndLetGo(void* argument) {
    Worker* worker = static_cast<Worker*>(argument);
    const COLORREF colours[] = {RGB(10, 20, 30), RGB(40, 50, 60), RGB(70, 80, 90)};
    for (int i = 0; i < 3000; ++i) {
        const COLORREF colour = colours[(i + worker->seed) % 3];
        HBRUSH brush = AcquireBrush(colour);
        if (!brush) {
            ++worker->nullBrushes;
            continue;
        }
        if (!IsLiveBrush(brush))
            ++worker->deadBrushes;
        if (i % 7 == 0)
            Sleep(0);
        if (!IsLiveBrush(brush))
            ++worker->deadBrushes;
        ReleaseBrush(brush);
    }
    return 0;
}

TEST_F(BrushCacheTest, HoldersOnSeveralThreadsNeverLoseABrush) {
    // One holder for the whole run keeps a colour alive across the others' churn.
    HBRUSH kept = AcquireBrush(RGB(10, 20, 30));
    ASSERT_NE(kept, nullptr);

    std::vector<Worker> workers(4);
    std::vector<HANDLE> threads;
    for (size_t i = 0; i < workers.size(); ++i) {
        workers[i] = {static_cast<int>(i), 0, 0};
        HANDLE thread = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, HoldAndLetGo, &workers[i], 0, nullptr));
        ASSERT_NE(thread, nullptr);
        threads.push_back(thread);
    }
    ASSERT_EQ(
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 60000),
        WAIT_OBJECT_0);
    for (HANDLE thread : threads)
        CloseHandle(thread);

    for (const Worker& worker : workers) {
        SCOPED_TRACE(worker.seed);
        EXPECT_EQ(worker.deadBrushes, 0);
        EXPECT_EQ(worker.nullBrushes, 0);
    }
    EXPECT_TRUE(IsLiveBrush(kept));
    EXPECT_EQ(AcquireBrush(RGB(10, 20, 30)), kept) << "the kept colour got a second brush";
    ReleaseBrush(kept);
    EXPECT_TRUE(IsLiveBrush(kept));
    ReleaseBrush(kept);
    EXPECT_FALSE(IsLiveBrush(kept));
}

} // namespace
