# Cross-building for Windows on Debian with mingw-w64. Included by the toolchain file of each
# target (i686-w64-mingw32.cmake, x86_64-w64-mingw32.cmake), which names the compiler prefix in
# KALIBRIX_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix-thread variant of the compiler: GoogleTest needs std::mutex. Everything links
# statically (see the top-level CMakeLists.txt), so no pthread DLL is imported.
find_program(CMAKE_C_COMPILER NAMES ${KALIBRIX_MINGW_PREFIX}-gcc-posix ${KALIBRIX_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${KALIBRIX_MINGW_PREFIX}-g++-posix ${KALIBRIX_MINGW_PREFIX}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${KALIBRIX_MINGW_PREFIX}-windres)
find_program(CMAKE_OBJDUMP NAMES ${KALIBRIX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KALIBRIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine; the wrapper supplies the private prefix, the display and the
# Wine loader of the build tree's lane.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run CACHE FILEPATH
    "Runs a Windows test program on this machine")
