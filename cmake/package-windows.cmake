# The zip a Windows user unpacks and runs: both programs in bin/ and the
# README as README.txt, with the CR LF line ends of a Windows text.
file(READ ${PROJECT_SOURCE_DIR}/README.md bench_readme)
string(REPLACE "\n" "\r\n" bench_readme "${bench_readme}")
file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${bench_readme}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quorvantic_bench)
set(CPACK_PACKAGE_VENDOR Quorvantic)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Console CPU micro-benchmarks bench_random and bench_fixed")
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
include(CPack)
