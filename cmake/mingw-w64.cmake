# Cross-builds Tidwen for 64-bit Windows with Debian's mingw-w64 (POSIX
# threads flavour), and runs the built test executables through Wine, so
# that ctest works on a Linux machine:
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake --build build-windows -j2 && ctest --test-dir build-windows
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TIDWEN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TIDWEN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDWEN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDWEN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TIDWEN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread go into each executable, so that it
# runs with the system's own DLLs alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Every executable runs under Wine, in a prefix of the build tree's own and
# without Wine's debug chatter (see wine-run.sh). The prefix is made by the
# first start (see the tidwen_wine_prefix target).
find_program(TIDWEN_WINE NAMES wine wine64 REQUIRED)
set(TIDWEN_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix of the test runs")
set(CMAKE_CROSSCOMPILING_EMULATOR sh "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh" "${TIDWEN_WINEPREFIX}")
