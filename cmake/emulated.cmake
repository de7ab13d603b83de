# A cross build's programs run on this machine under qemu-user, when it is
# installed (the toolchain file finds it as BENCH_QEMU). ctest runs the test
# programs under it itself (CMAKE_CROSSCOMPILING_EMULATOR); whatever a test
# or bench_compare starts by its path goes through run-emulated.c, built here
# for this machine: emulated/run-emulated PROGRAM runs any program, and
# bench_emulated_program() makes emulated/NAME, which stands in for one.
find_program(BENCH_HOST_CC NAMES gcc cc NO_CMAKE_FIND_ROOT_PATH)
if(NOT BENCH_QEMU OR NOT BENCH_HOST_CC)
  # Programs for another machine, not run here: nothing to launch them with.
  message(STATUS "No emulated launchers: they need qemu-user and this machine's C compiler "
                 "(Debian: qemu-user, gcc)")
  set(BENCH_EMULATED OFF)
  return()
endif()
set(BENCH_EMULATED ON)
set(BENCH_EMULATED_DIR ${CMAKE_BINARY_DIR}/emulated)
set(BENCH_EMULATOR ${BENCH_EMULATED_DIR}/run-emulated)

# emulated/NAME from run-emulated.c, running TARGET_PATH (empty: the
# generic form).
function(bench_emulated_launcher name target_path)
  set(source ${PROJECT_SOURCE_DIR}/cmake/run-emulated.c)
  set(defines "-DBENCH_QEMU=\"${BENCH_QEMU}\"")
  if(target_path)
    list(APPEND defines "-DBENCH_TARGET=\"${target_path}\"")
  endif()
  add_custom_command(OUTPUT ${BENCH_EMULATED_DIR}/${name}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${BENCH_EMULATED_DIR}
                     COMMAND ${BENCH_HOST_CC} -static -O2 -Wall -Wextra -Werror ${defines}
                             -o ${BENCH_EMULATED_DIR}/${name} ${source}
                     DEPENDS ${source}
                     COMMENT "Building the emulated launcher emulated/${name}"
                     VERBATIM)
  add_custom_target(emulated_${name} ALL DEPENDS ${BENCH_EMULATED_DIR}/${name})
endfunction()

# emulated/NAME for the program of target NAME.
function(bench_emulated_program target)
  bench_emulated_launcher(${target} "$<TARGET_FILE:${target}>")
  add_dependencies(emulated_${target} ${target})
endfunction()

bench_emulated_launcher(run-emulated "")
