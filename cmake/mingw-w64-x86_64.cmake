# Cross-compiles Tapewell for 64-bit Windows with Debian's MinGW-w64 (the
# posix thread model, for std::thread and std::mutex):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAPEWELL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAPEWELL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAPEWELL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAPEWELL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAPEWELL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry the compiler's own run-time libraries (libstdc++,
# libgcc, winpthread), so that they run from any folder without MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine on the build machine.
find_program(TAPEWELL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TAPEWELL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAPEWELL_WINE})
endif()
