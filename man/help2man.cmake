# Makes bench_compare(1) from the program's own --help and --version, with
# bench_compare.h2m for what --help leaves out.
#   cmake -DHELP2MAN=... -DPROGRAM=... -DINCLUDE=... -DOUTPUT=...
#         -DPATHS="built=installed;..." -P help2man.cmake
# --help shows the defaults of --random, --fixed and --probe as paths of this
# build tree; PATHS maps each to where the package installs it, so that the
# page says what an installed bench_compare does.
# help2man runs the program through the shell: it is named from its own
# directory, so that a build tree whose path holds a space still makes it.
get_filename_component(program_dir "${PROGRAM}" DIRECTORY)
get_filename_component(program_name "${PROGRAM}" NAME)
execute_process(COMMAND ${HELP2MAN} --no-info --include ${INCLUDE} ./${program_name}
                WORKING_DIRECTORY "${program_dir}"
                OUTPUT_VARIABLE page ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM} (${status}): ${errors}")
endif()

foreach(pair IN LISTS PATHS)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 built)
  list(GET pair 1 installed)
  # help2man writes every hyphen as the roff minus sign.
  string(REPLACE "-" "\\-" built "${built}")
  string(REPLACE "-" "\\-" installed "${installed}")
  string(REPLACE "${built}" "${installed}" page "${page}")
endforeach()
# CLI11 writes "-h,--help"; help2man then sets only the first in bold.
string(REPLACE "\\fB\\-h\\fR,\\-\\-help" "\\fB\\-h\\fR, \\fB\\-\\-help\\fR" page "${page}")

file(WRITE ${OUTPUT} "${page}")
