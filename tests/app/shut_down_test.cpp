// Shut-down with a drive that has not ended: the take-down short of the end of the process.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include "app/startup_shutdown.h"
#include "gui/gadgets.h"
#include "runtime/memory_heaps.h"
#include "runtime/object_table.h"
#include "runtime/threads.h"

namespace {

HANDLE release = nullptr;

// A drive that pays no heed to the stop, as one that has not yet run pays none.
DWORD WINAPI OutlivesTheWait(LPVOID) {
    WaitForSingleObject(release, INFINITE);
    // What the program's drive reads first.
    ObjectTableFind(GadgetTable(), 15);
    return 0;
}

TEST(ShutDown, LeavesTheHeapsToTheSystemWhileADriveStillRuns) {
    ASSERT_TRUE(StartServices());
    release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(release, nullptr);
    const int32_t number = ThreadCreate(OutlivesTheWait, 0);
    ASSERT_NE(number, 0);
    HANDLE drive = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), ThreadFindRunning(number), GetCurrentProcess(),
                                &drive, 0, FALSE, DUPLICATE_SAME_ACCESS));

    StopServices();
    // Without the heap the drive is left waiting: its read would end the test program.
    ASSERT_NE(MainHeapHandle(), nullptr) << "the heap went while a drive may still read it";
    // The component services went with the rest: a new start on this thread is the first.
    EXPECT_EQ(CoInitialize(nullptr), S_OK) << "shut-down left the component services up";
    CoUninitialize();
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(drive, 5000), WAIT_OBJECT_0);
    CloseHandle(drive);
    CloseHandle(release);
}

} // namespace
