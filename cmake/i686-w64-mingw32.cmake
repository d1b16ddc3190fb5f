# The product: the 32-bit Windows program, cross-built with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KALIBRIX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
