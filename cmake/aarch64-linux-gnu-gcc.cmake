# Cross-builds for 64-bit ARM Linux with Debian's GCC cross compiler
# (g++-aarch64-linux-gnu). See aarch64-linux-gnu.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu.cmake)
set(CMAKE_C_COMPILER ${BENCH_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${BENCH_CROSS_TRIPLE}-g++)
