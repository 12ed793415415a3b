# Shows that check_dll.cmake catches a fault: runs it on a damaged copy of
# an input and passes only when the check fails, naming the fault.
#
# cmake -DOBJDUMP=... -DFILE=<dll> -DCASE=<case> -DWORK_DIR=<dir>
#       [-DEXPORTS=<list>] [-DALLOWED_IMPORTS=<file>] -P expect_failure.cmake
# Cases:
#   bytes    the first stdcall entry's byte count is 4 too high
#   drop     the first stdcall entry is missing from the list
#   extra    the list has a name the DLL does not export
#   import   _HWIO_Hout@8 is missing from the allowed imports
#   runtime  FILE imports a MinGW runtime DLL (nothing is damaged)
#   mangled  the list loses the type-decorated name of MBUN5_InitAction
cmake_minimum_required(VERSION 3.25)

file(MAKE_DIRECTORY "${WORK_DIR}")
set(args -DOBJDUMP=${OBJDUMP} -DFILE=${FILE})

function(first_stdcall_entry list_file out_line out_name out_bytes)
  file(STRINGS "${list_file}" lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)[ \t]+([0-9]+)[ \t]*$")
      set(${out_line} "${line}" PARENT_SCOPE)
      set(${out_name} "${CMAKE_MATCH_1}" PARENT_SCOPE)
      set(${out_bytes} "${CMAKE_MATCH_2}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${list_file}: no stdcall entry to damage")
endfunction()

set(expect)
if(CASE STREQUAL "bytes" OR CASE STREQUAL "drop" OR CASE STREQUAL "extra")
  file(READ "${EXPORTS}" text)
  set(damaged "${WORK_DIR}/exports.${CASE}.txt")
  first_stdcall_entry("${EXPORTS}" line name bytes)
  if(CASE STREQUAL "bytes")
    math(EXPR wrong "${bytes} + 4")
    string(REPLACE "${line}" "${name} ${wrong}" text "${text}")
    list(APPEND expect "- _${name}@${wrong} +\\(listed" "\\+ _${name}@${bytes} +\\(exported, not listed\\)")
  elseif(CASE STREQUAL "drop")
    string(REPLACE "${line}\n" "" text "${text}")
    list(APPEND expect "\\+ _${name}@${bytes} +\\(exported, not listed\\)")
  else()
    string(APPEND text "\nCARDN5_NotExported 4\n")
    list(APPEND expect "- _CARDN5_NotExported@4 +\\(listed")
  endif()
  file(WRITE "${damaged}" "${text}")
  list(APPEND args -DEXPORTS=${damaged})
elseif(CASE STREQUAL "import")
  file(STRINGS "${ALLOWED_IMPORTS}" lines)
  list(FILTER lines EXCLUDE REGEX "_HWIO_Hout@8")
  list(JOIN lines "\n" text)
  set(damaged "${WORK_DIR}/allowed.${CASE}.txt")
  file(WRITE "${damaged}" "${text}\n")
  list(APPEND args -DALLOWED_IMPORTS=${damaged})
  list(APPEND expect "imports _HWIO_Hout@8 from hwio32.dll, which is not in")
elseif(CASE STREQUAL "mangled")
  file(READ "${EXPORTS}" text)
  string(REGEX REPLACE "(MBUN5_InitAction[ \t]+8)[ \t]+[^\n]+" "\\1" text "${text}")
  set(damaged "${WORK_DIR}/exports.${CASE}.txt")
  file(WRITE "${damaged}" "${text}")
  list(APPEND args -DEXPORTS=${damaged})
  list(APPEND expect "- _MBUN5_InitAction@8 +\\(listed" "\\+ \\?MBUN5_InitAction@@YGHKK@Z +\\(exported, not listed\\)")
elseif(CASE STREQUAL "runtime")
  list(APPEND expect "imports the MinGW runtime DLL lib(gcc_s|stdc\\+\\+)")
else()
  message(FATAL_ERROR "unknown CASE '${CASE}'")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" ${args} -P "${CMAKE_CURRENT_LIST_DIR}/check_dll.cmake"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
set(all "${out}${err}")
if(rc EQUAL 0)
  message(FATAL_ERROR "check_dll.cmake passed on the damaged input (case ${CASE}):\n${all}")
endif()
foreach(re IN LISTS expect)
  if(NOT all MATCHES "${re}")
    message(FATAL_ERROR "check_dll.cmake failed, but without '${re}' (case ${CASE}):\n${all}")
  endif()
endforeach()
message(STATUS "case ${CASE}: the check failed as it must:\n${all}")
