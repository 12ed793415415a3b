# On Linux a shared library of ours exports the names of its export list and
# nothing else: hidden visibility keeps our own code in, and a version script
# keeps in the instantiations of the standard library's templates, which the
# library headers mark visible.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/ExportList.cmake)

function(cardn5_export_only target list_file)
  if(WIN32 OR APPLE)
    return()
  endif()
  cardn5_read_export_list("${list_file}" exports)
  set(script "{\n  global:\n")
  foreach(name IN LISTS exports_INTERNAL)
    string(REGEX REPLACE "@[0-9]+$" "" name "${name}")
    string(APPEND script "    ${name};\n")
  endforeach()
  string(APPEND script "  local: *;\n};\n")
  set(file "${CMAKE_CURRENT_BINARY_DIR}/${target}.version")
  file(CONFIGURE OUTPUT "${file}" CONTENT "${script}")
  target_link_options(${target} PRIVATE "-Wl,--version-script=${file}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${file}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list_file}")
endfunction()
