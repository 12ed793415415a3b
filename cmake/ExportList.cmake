# Reader of the export lists (cardN5/exports.txt, platform/*.exports).
# Shared by the configure step, which writes the .def files, and by the
# export-table check, which runs as a `cmake -P` script.
#
# A line: <name> <argument bytes> [<exported name in full>]; '#' starts a
# comment. The bytes are the number after the '@' of the stdcall decoration;
# the word `cdecl` instead marks a cdecl function, exported undecorated.
#
# cardn5_read_export_list(<file> <prefix>) sets in the caller:
#   <prefix>_EXPORTED  names as they must appear in the export table
#   <prefix>_INTERNAL  the linker's names for them (a .def's right-hand side,
#                      i.e. the object symbol without the i386 underscore)
#   <prefix>_CDECL     1 or 0 per entry
# A malformed line stops with the file and line number: a silently skipped
# line would become a missing export nobody notices.
include_guard(GLOBAL)

function(cardn5_read_export_list file prefix)
  file(STRINGS "${file}" lines)
  set(exported)
  set(internal)
  set(cdecl)
  set(lineno 0)
  foreach(line IN LISTS lines)
    math(EXPR lineno "${lineno} + 1")
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(LENGTH fields nfields)
    if(nfields LESS 2 OR nfields GREATER 3)
      message(FATAL_ERROR "${file}:${lineno}: expected '<name> <bytes> [<full name>]', got '${line}'")
    endif()
    list(GET fields 0 name)
    list(GET fields 1 bytes)
    if(NOT name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
      message(FATAL_ERROR "${file}:${lineno}: '${name}' is not a C identifier")
    endif()
    if(bytes STREQUAL "cdecl")
      set(int "${name}")
      set(exp "${name}")
      list(APPEND cdecl 1)
    elseif(bytes MATCHES "^[0-9]+$")
      math(EXPR rest "${bytes} % 4")
      if(NOT rest EQUAL 0)
        message(FATAL_ERROR "${file}:${lineno}: ${name}: stdcall argument bytes are a multiple of 4, not ${bytes}")
      endif()
      set(int "${name}@${bytes}")
      set(exp "_${name}@${bytes}")
      list(APPEND cdecl 0)
    else()
      message(FATAL_ERROR "${file}:${lineno}: ${name}: '${bytes}' is neither a byte count nor 'cdecl'")
    endif()
    if(nfields EQUAL 3)
      list(GET fields 2 exp)
    endif()
    if(exp IN_LIST exported)
      message(FATAL_ERROR "${file}:${lineno}: '${exp}' is exported twice")
    endif()
    list(APPEND exported "${exp}")
    list(APPEND internal "${int}")
  endforeach()
  if(NOT exported)
    message(FATAL_ERROR "${file}: no exports listed")
  endif()
  set(${prefix}_EXPORTED "${exported}" PARENT_SCOPE)
  set(${prefix}_INTERNAL "${internal}" PARENT_SCOPE)
  set(${prefix}_CDECL "${cdecl}" PARENT_SCOPE)
endfunction()
