# Checks a built Windows DLL or program against what hosts and the machine
# rely on, from `objdump -p` (no Windows needed):
#   - EXPORTS given: the export table holds exactly the list's names, no
#     more, no fewer; differences are printed as a diff.
#   - every imported DLL is a Windows system DLL or one of the five service
#     DLLs; a MinGW runtime DLL (libgcc_s, libstdc++, libwinpthread) is named
#     as such, since the machine has only the DLLs we ship.
#   - ALLOWED_IMPORTS given: every function imported from a DLL that the
#     file lists is listed for that DLL (exact decorated names).
#   - PROVIDES given: the file's entries for DLL_NAME are all exported (a
#     stand-in offers everything the library may import from it).
#
# cmake -DOBJDUMP=<objdump> -DFILE=<dll or exe> [-DEXPORTS=<export list>]
#       [-DALLOWED_IMPORTS=<file> [-DEXACT_IMPORTS=ON]]
#       [-DPROVIDES=<file> -DDLL_NAME=<name>]
#       -P check_dll.cmake
# An allowed-imports file has lines `<dll> <exported name>`, '#' comments.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ExportList.cmake)

foreach(var IN ITEMS OBJDUMP FILE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_dll.cmake: -D${var}=... is required")
  endif()
endforeach()
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "${FILE} does not exist")
endif()

set(service_dlls hwio32.dll errlog32.dll timing32.dll hwconf32.dll hwinfo32.dll cardn532.dll)
set(system_dlls
    kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll ntdll.dll shell32.dll ole32.dll oleaut32.dll
    comctl32.dll comdlg32.dll version.dll winmm.dll ws2_32.dll shlwapi.dll)

execute_process(COMMAND "${OBJDUMP}" -p "${FILE}" OUTPUT_VARIABLE dump ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${FILE} failed: ${err}")
endif()
# One line per list element; ';' does not occur in objdump's PE dump.
string(REPLACE "\n" ";" lines "${dump}")

# Export names: the lines after "[Ordinal/Name Pointer] Table".
# Imports: "DLL Name: X" followed by "<vma> <hint> <name>" lines.
set(exports)
set(import_dlls)
set(state none)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(state exports)
    continue()
  elseif(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    string(TOLOWER "${dll}" dll_lc)
    list(APPEND import_dlls "${dll}")
    set(imports_${dll_lc})
    set(state imports)
    continue()
  endif()
  if(state STREQUAL "exports")
    if(line MATCHES "^[ \t]+\\[ *[0-9]+\\] (.+)$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    else()
      set(state none)
    endif()
  elseif(state STREQUAL "imports")
    # "<vma> <hint> <name>"; an import by ordinal only keeps its odd rest,
    # which then matches no allowed name.
    if(line MATCHES "^[ \t]+[0-9a-fA-F]+[ \t]+[0-9]+[ \t]+(.+)$")
      string(STRIP "${CMAKE_MATCH_1}" name)
      list(APPEND imports_${dll_lc} "${name}")
    elseif(line MATCHES "^[ \t]+[0-9a-fA-F]+[ \t]+(.+)$")
      string(STRIP "${CMAKE_MATCH_1}" name)
      list(APPEND imports_${dll_lc} "${name}")
    elseif(line MATCHES "vma:")
      # the column header
    else()
      set(state none)
    endif()
  endif()
endforeach()

get_filename_component(file_name "${FILE}" NAME)
set(failures)

# ---- exports ----
if(DEFINED EXPORTS)
  cardn5_read_export_list("${EXPORTS}" want)
  set(missing ${want_EXPORTED})
  list(REMOVE_ITEM missing ${exports})
  set(extra ${exports})
  list(REMOVE_ITEM extra ${want_EXPORTED})
  list(LENGTH want_EXPORTED n_want)
  list(LENGTH exports n_have)
  if(missing OR extra OR NOT n_want EQUAL n_have)
    set(diff "")
    foreach(name IN LISTS missing)
      string(APPEND diff "  - ${name}    (listed in ${EXPORTS}, not exported)\n")
    endforeach()
    foreach(name IN LISTS extra)
      string(APPEND diff "  + ${name}    (exported, not listed)\n")
    endforeach()
    list(APPEND failures
         "export table of ${file_name} differs from the list (${n_want} listed, ${n_have} exported):\n${diff}")
  else()
    message(STATUS "${file_name}: ${n_have} exports, exactly as listed")
  endif()
endif()

# ---- imported DLLs ----
foreach(dll IN LISTS import_dlls)
  string(TOLOWER "${dll}" dll_lc)
  if(dll_lc MATCHES "^(libgcc|libstdc|libwinpthread|libssp|libatomic|libgomp|libquadmath)")
    list(APPEND failures "${file_name} imports the MinGW runtime DLL ${dll}; it must be linked statically")
  elseif(NOT dll_lc IN_LIST system_dlls AND NOT dll_lc IN_LIST service_dlls)
    list(APPEND failures "${file_name} imports ${dll}, which is neither a Windows system DLL nor a service DLL")
  endif()
endforeach()
message(STATUS "${file_name} imports from: ${import_dlls}")

# ---- imported functions ----
function(read_pairs file prefix)
  file(STRINGS "${file}" plines)
  set(dlls)
  foreach(line IN LISTS plines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^([^ \t]+)[ \t]+([^ \t]+)$")
      message(FATAL_ERROR "${file}: expected '<dll> <name>', got '${line}'")
    endif()
    string(TOLOWER "${CMAKE_MATCH_1}" d)
    list(APPEND ${prefix}_${d} "${CMAKE_MATCH_2}")
    list(APPEND dlls "${d}")
  endforeach()
  list(REMOVE_DUPLICATES dlls)
  set(${prefix}_DLLS "${dlls}" PARENT_SCOPE)
  foreach(d IN LISTS dlls)
    set(${prefix}_${d} "${${prefix}_${d}}" PARENT_SCOPE)
  endforeach()
endfunction()

if(DEFINED ALLOWED_IMPORTS)
  read_pairs("${ALLOWED_IMPORTS}" allowed)
  set(n_checked 0)
  foreach(dll IN LISTS import_dlls)
    string(TOLOWER "${dll}" dll_lc)
    if(dll_lc IN_LIST service_dlls AND NOT dll_lc IN_LIST allowed_DLLS)
      list(APPEND failures "${file_name} imports from ${dll}, from which nothing may be imported")
      continue()
    endif()
    if(NOT dll_lc IN_LIST allowed_DLLS)
      continue()
    endif()
    foreach(name IN LISTS imports_${dll_lc})
      math(EXPR n_checked "${n_checked} + 1")
      if(NOT name IN_LIST allowed_${dll_lc})
        list(APPEND failures "${file_name} imports ${name} from ${dll}, which is not in ${ALLOWED_IMPORTS}")
      endif()
    endforeach()
  endforeach()
  # EXACT_IMPORTS: also nothing listed may be missing (a host that calls
  # each listed function must import each one under exactly that name).
  if(EXACT_IMPORTS)
    foreach(dll_lc IN LISTS allowed_DLLS)
      foreach(name IN LISTS allowed_${dll_lc})
        if(NOT name IN_LIST imports_${dll_lc})
          list(APPEND failures "${file_name} does not import ${name} from ${dll_lc}")
        endif()
      endforeach()
    endforeach()
  endif()
  message(STATUS "${file_name}: ${n_checked} imports from the listed DLLs checked")
endif()

if(DEFINED PROVIDES)
  if(NOT DEFINED DLL_NAME)
    message(FATAL_ERROR "PROVIDES needs -DDLL_NAME=<name>")
  endif()
  read_pairs("${PROVIDES}" provides)
  string(TOLOWER "${DLL_NAME}" dll_lc)
  if(NOT provides_${dll_lc})
    list(APPEND failures "${PROVIDES} lists nothing for ${DLL_NAME}")
  endif()
  foreach(name IN LISTS provides_${dll_lc})
    if(NOT name IN_LIST exports)
      list(APPEND failures "${file_name} does not export ${name}, which the library may import")
    endif()
  endforeach()
endif()

if(failures)
  # NOTICE keeps the diff's lines as they are; FATAL_ERROR would reflow them.
  list(LENGTH failures n_failures)
  list(JOIN failures "\n" text)
  message(NOTICE "FAIL ${file_name}\n${text}")
  message(FATAL_ERROR "${file_name}: ${n_failures} problem(s), listed above")
endif()
message(STATUS "PASS ${file_name}")
