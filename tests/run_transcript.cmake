# Runs PROGRAM with CASE.in on standard input and compares its standard
# output byte for byte with CASE.out. When CASE.status exists, the exit
# status must equal its content (otherwise 0). On a mismatch the output is
# kept as NAME.actual in OUTDIR.
get_filename_component(name "${CASE}" NAME)
execute_process(
  COMMAND "${PROGRAM}"
  INPUT_FILE "${CASE}.in"
  OUTPUT_VARIABLE actual
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
file(READ "${CASE}.out" expected)
set(expected_status 0)
if(EXISTS "${CASE}.status")
  file(READ "${CASE}.status" expected_status)
  string(STRIP "${expected_status}" expected_status)
endif()
if(NOT actual STREQUAL expected)
  file(WRITE "${OUTDIR}/${name}.actual" "${actual}")
  message(FATAL_ERROR "${name}: output differs from ${name}.out; "
          "see ${OUTDIR}/${name}.actual")
endif()
if(NOT status STREQUAL expected_status)
  message(FATAL_ERROR "${name}: exit status ${status}, expected "
          "${expected_status}; standard error:\n${errors}")
endif()
