# Cross-builds for 64-bit ARM Linux with Clang, on the GCC cross compiler's
# sysroot, start-up files and linker (g++-aarch64-linux-gnu must be
# installed too). See aarch64-linux-gnu.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${BENCH_CROSS_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${BENCH_CROSS_TRIPLE})
# LLVM's OpenMP runtime for AArch64 cannot be installed beside the x86-64 one
# Clang's own builds use: the cross programs take GCC's (libgomp), whose
# omp_get_wtime is all they use.
set(OpenMP_CXX_FLAGS "-fopenmp=libgomp" CACHE STRING "OpenMP for the AArch64 cross build")
set(OpenMP_CXX_LIB_NAMES gomp CACHE STRING "OpenMP for the AArch64 cross build")
set(OpenMP_gomp_LIBRARY ${BENCH_CROSS_SYSROOT}/lib/libgomp.so.1
    CACHE FILEPATH "OpenMP for the AArch64 cross build")
