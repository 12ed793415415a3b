# Runs one libFuzzer program for SECONDS on its seed corpus and regression
# inputs (INPUTS), keeping new inputs in WORK/corpus and crash inputs in
# WORK/crashes; prints libFuzzer's final figures, and on a crash the input
# to commit to fuzz/regressions/NAME/ with its fix.
file(GLOB old_crashes "${WORK}/crashes/*")
if(old_crashes)
  file(REMOVE ${old_crashes})
endif()
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=20 -print_final_stats=1
          -artifact_prefix=${WORK}/crashes/ ${WORK}/corpus ${INPUTS}
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
file(WRITE "${WORK}/last-run.log" "${out}")
string(REGEX MATCHALL "(stat::[a-z_]+: *[0-9]+|INFO: seed corpus:[^\n]*|#[0-9]+\t*DONE[^\n]*)" figures "${out}")
foreach(line IN LISTS figures)
  message("${NAME}: ${line}")
endforeach()
file(GLOB crashes "${WORK}/crashes/*")
if(NOT rc EQUAL 0 OR crashes)
  string(LENGTH "${out}" len)
  math(EXPR from "${len} - 6000")
  if(from LESS 0)
    set(from 0)
  endif()
  string(SUBSTRING "${out}" ${from} -1 tail)
  message("${tail}")
  message(FATAL_ERROR "${NAME}: the fuzzer stopped (${rc}); crash inputs: ${crashes}\n"
                      "Fix the fault, then copy the input into fuzz/regressions/${NAME}/ (see fuzz/README.md).")
endif()
