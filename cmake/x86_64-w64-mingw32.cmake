# The 64-bit test lane: the same sources for 64-bit Windows, so that the tests run under 64-bit
# Wine on machines that cannot run 32-bit programs. Never released.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KALIBRIX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
