# Exact export names for the 32-bit Windows DLLs, from an export list.
#
# cardn5_win32_exports(<target> DLL <file name> LIST <export list>)
#
# Writes at configure time, into the target's binary folder:
#   <dll>.def      for the linker: `<exported> = <internal>`. The left side
#                  goes into the export table verbatim, so the stdcall
#                  decoration stays (`_CARDN5_PortOut@8`), as hosts built
#                  with other compilers expect it.
#   <dll>.imp.def  for dlltool: `<internal> == <exported>`, an import library
#                  whose symbols match what our own callers' objects reference
#                  (`_CARDN5_PortOut@8`) and which imports by the exported name.
# ld's own --out-implib would name the symbols `__X@N`, which nobody
# references, so after the link the import library is replaced by dlltool's.
# --disable-stdcall-fixup makes a wrong byte count in the list a link error
# instead of a quiet match with the nearest symbol.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/ExportList.cmake)

function(cardn5_win32_exports target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DLL;LIST" "")
  if(NOT arg_DLL OR NOT arg_LIST)
    message(FATAL_ERROR "cardn5_win32_exports(${target} DLL <name> LIST <file>)")
  endif()
  get_filename_component(list_file "${arg_LIST}" ABSOLUTE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list_file}")
  cardn5_read_export_list("${list_file}" ex)

  set(def "LIBRARY \"${arg_DLL}\"\nEXPORTS\n")
  set(imp "LIBRARY \"${arg_DLL}\"\nEXPORTS\n")
  set(imported)
  list(LENGTH ex_EXPORTED n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE ${last})
    list(GET ex_EXPORTED ${i} exp)
    list(GET ex_INTERNAL ${i} int)
    list(GET ex_CDECL ${i} is_cdecl)
    if(exp STREQUAL int)
      string(APPEND def "  ${exp}\n")
    else()
      string(APPEND def "  ${exp} = ${int}\n")
    endif()
    # A function exported under a second name is imported under its first.
    if(int IN_LIST imported)
      continue()
    endif()
    list(APPEND imported "${int}")
    if(is_cdecl AND exp STREQUAL int)
      string(APPEND imp "  ${int}\n")
    else()
      string(APPEND imp "  ${int} == ${exp}\n")
    endif()
  endforeach()

  set(def_file "${CMAKE_CURRENT_BINARY_DIR}/${arg_DLL}.def")
  set(imp_file "${CMAKE_CURRENT_BINARY_DIR}/${arg_DLL}.imp.def")
  # Written only when changed, so that a reconfigure does not relink. Not
  # file(CONFIGURE): '@' is part of the names and must never be substituted.
  file(WRITE "${def_file}.tmp" "${def}")
  file(WRITE "${imp_file}.tmp" "${imp}")
  file(COPY_FILE "${def_file}.tmp" "${def_file}" ONLY_IF_DIFFERENT)
  file(COPY_FILE "${imp_file}.tmp" "${imp_file}" ONLY_IF_DIFFERENT)

  target_sources(${target} PRIVATE "${def_file}")
  target_link_options(${target} PRIVATE -Wl,--disable-stdcall-fixup)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${imp_file}")
  if(NOT CMAKE_DLLTOOL)
    message(FATAL_ERROR "CMAKE_DLLTOOL is not set; use the mingw32 toolchain file")
  endif()
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_DLLTOOL}" -d "${imp_file}" -D "${arg_DLL}" -l "$<TARGET_LINKER_FILE:${target}>"
    COMMENT "Import library of ${arg_DLL} with the decorated names"
    VERBATIM)
  set_property(TARGET ${target} PROPERTY CARDN5_EXPORT_LIST "${list_file}")
endfunction()
