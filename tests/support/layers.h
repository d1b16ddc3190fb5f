// The program's layers as the test programs start and use them: started once per program in the
// order of the program's own start-up, so that every test runs on the services the program has.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

namespace testsupport {

// The runtime alone: heaps, the string workspace, node lists, libraries and threads.
bool StartRuntime();
// The runtime with the window and gadget layer: heaps and workspace, windows, gadgets, then
// libraries and threads.
bool StartWindowLayer();

// A handle of the test's own to a numbered thread, so that its end can be awaited after
// ThreadKill or ThreadCloseAll has closed the registry's; null when none runs. The test closes it.
HANDLE DuplicateThreadHandle(int32_t number);

// A build path as LibraryOpen takes it under Wine, which shows the Linux root as drive Z:.
std::string WindowsPath(const char* path);

} // namespace testsupport
