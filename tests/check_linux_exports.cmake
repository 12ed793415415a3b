cmake_minimum_required(VERSION 3.25)  # policies of our version for this script
# Compares the dynamic symbols a shared library defines with its export
# list: hidden visibility must keep everything else inside, and every
# listed export must be there under its plain C name.
#   cmake -DLIBRARY=<.so> -DLIST=<exports file> -DNM=<nm> -P check_linux_exports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/ExportList.cmake)

cardn5_read_export_list("${LIST}" want)
# The list's first column is the C name; decorations are Windows-only.
set(expected)
foreach(name IN LISTS want_INTERNAL)
  string(REGEX REPLACE "@[0-9]+$" "" name "${name}")
  list(APPEND expected "${name}")
endforeach()

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}" OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(actual)
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ [TWDBRV] ([^ ]+)$")
    list(APPEND actual "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(missing ${expected})
list(REMOVE_ITEM missing ${actual})
set(extra ${actual})
list(REMOVE_ITEM extra ${expected})
if(missing OR extra)
  list(JOIN missing "\n  " m)
  list(JOIN extra "\n  " x)
  message(FATAL_ERROR "${LIBRARY} does not export exactly ${LIST}\nmissing:\n  ${m}\nextra:\n  ${x}")
endif()
list(LENGTH expected n)
message(STATUS "${LIBRARY}: ${n} exports as listed")
