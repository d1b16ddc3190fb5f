// Start-up of the services the layer needs, in the program's order, once per test program.
#include <gtest/gtest.h>
#include "gui/gadgets.h"
#include "gui/numbered_windows.h"
#include "runtime/memory_heaps.h"
#include "runtime/string_workspace.h"

namespace {

class LayerEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(MainHeapCreate());
        ASSERT_TRUE(WorkspaceInit());
        ASSERT_TRUE(NodeHeapCreate());
        ASSERT_TRUE(InitWindowLayer());
        ASSERT_TRUE(InitGadgetLayer());
    }
    void TearDown() override { CloseAllWindows(); }
};

::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new LayerEnvironment);

} // namespace
