# Cross-builds for 64-bit Windows with MinGW-w64's posix thread model, whose
# C++ runtime links statically like the rest. Programs and tests built this
# way run on Linux through the Wine loader, which ctest uses as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BENCH_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BENCH_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BENCH_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BENCH_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BENCH_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable carries its runtimes inside: it imports only the DLLs
# Windows itself provides.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(BENCH_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(BENCH_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BENCH_WINE_LOADER})
endif()
