# The Debian package, made by CPack's DEB generator from the install rules:
#   cmake --build build --target package
# leaves build/quorvantic-bench_<version>_amd64.deb. Its dependencies are
# read from the installed binaries by dpkg-shlibdeps.
set(BENCH_DEB_NAME quorvantic-bench)
set(bench_debian ${CMAKE_CURRENT_LIST_DIR}/debian)

# Debian's place for a package's documents, named after the package itself.
set(BENCH_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${BENCH_DEB_NAME})

# The changelog's newest entry names the version being packaged; a package
# whose changelog says otherwise would mislead whoever reads it.
file(STRINGS ${bench_debian}/changelog bench_changelog_head LIMIT_COUNT 1)
if(NOT bench_changelog_head MATCHES "^${BENCH_DEB_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog starts with '${bench_changelog_head}': its newest "
                      "entry must be for ${BENCH_DEB_NAME} ${PROJECT_VERSION}")
endif()

# Compressed without a name or time stamp, so that two builds of one source
# give the same bytes.
find_program(BENCH_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
                   COMMAND ${BENCH_GZIP} -9nc ${bench_debian}/changelog >
                           ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
                   DEPENDS ${bench_debian}/changelog VERBATIM)
add_custom_target(deb_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${bench_debian}/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${BENCH_DOCDIR})
# The README's links lead into docs/: beside it, they still do.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${BENCH_DOCDIR}/docs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${BENCH_DEB_NAME})
set(CPACK_PACKAGE_VENDOR Quorvantic)
set(CPACK_PACKAGE_CONTACT "Quorvantic <support@quorvantic.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Only the charts of --plot and --html need gnuplot; the console-only build
# is the smallest that draws them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnuplot-nox | gnuplot")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack gives any package with a library under usr/lib maintainer scripts
# that run ldconfig. The probes are preloaded by their full path, never
# looked up by the dynamic linker, so the package needs no scripts: naming a
# postinst and a postrm that do not exist (CPack skips them, saying
# "missing file") keeps it from writing its own.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/no-scripts/postinst
                                       ${CMAKE_CURRENT_BINARY_DIR}/no-scripts/postrm)
set(CPACK_STRIP_FILES ON)
# The first line is the synopsis; CPack indents the rest as the long text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "CPU micro-benchmark pair with a statistical comparison tool
bench_random and bench_fixed each time three processor-bound tests of
1,000,000 executions (64-bit integers, x87 extended reals and 16-bit codes
stored into an array) and report seconds and millions of executions per
second. bench_random draws a pseudo-random number for every execution (and
in the first two tests takes its remainder); bench_fixed stores fixed values
instead, so the difference of their times is the cost of that arithmetic.

bench_compare runs the pair in interleaved rounds and sessions and reports
each test's difference with a confidence interval. It compares a run with a
baseline, merges runs made on several machines or with several builds,
counts page faults and other events per test, and, under the probe libraries
it preloads, proves that a build of the pair still does every allocation,
draw, remainder and store it is meant to time.")
include(CPack)
