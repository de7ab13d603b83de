# What the GCC and Clang cross-builds for 64-bit ARM Linux share
# (aarch64-linux-gnu-gcc.cmake and aarch64-linux-gnu-clang.cmake include it).
# Debian provides the rest: the cross compilers' own sysroot in
# /usr/aarch64-linux-gnu (C library, libstdc++, libgomp) to link against, and
# through multiarch the AArch64 libraries bench_compare links (libelf, fmt,
# SQLite, GoogleTest: the ":arm64" packages) in /usr/lib/aarch64-linux-gnu,
# beside the x86-64 ones. The header-only libraries (CLI11, nlohmann-json,
# Boost.Math) and SQLite's header are shared.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(BENCH_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_LIBRARY_ARCHITECTURE ${BENCH_CROSS_TRIPLE})
set(BENCH_CROSS_SYSROOT /usr/${BENCH_CROSS_TRIPLE})

# Only the AArch64 libraries' pkg-config files; the shared headers'
# architecture-independent ones stay visible.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${BENCH_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
# Boost's CMake package files lie under the host's library directory: the
# headers are found on their own instead.
set(Boost_NO_BOOST_CMAKE ON)

# The programs and tests run on this machine under qemu-user, which ctest
# uses as the emulator. Their libraries at run time are Debian's AArch64
# ones (libc6, libstdc++6 and libgomp1 ":arm64"), found by the AArch64 loader
# where the system keeps them; not the cross compiler's sysroot (qemu's -L),
# whose older C library hangs under qemu 7.2 in the child of every fork.
find_program(BENCH_QEMU NAMES qemu-${CMAKE_SYSTEM_PROCESSOR} qemu-${CMAKE_SYSTEM_PROCESSOR}-static
             NO_CMAKE_FIND_ROOT_PATH)
if(BENCH_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BENCH_QEMU})
endif()
