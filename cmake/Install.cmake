# What `cmake --install` puts in place: the library and the five stand-ins
# (with their import libraries on Windows), the public header and the
# stand-ins' declarations, a CMake package (find_package(cardN5 CONFIG) ->
# cardN5::cardN5) and a pkg-config file.
include(CMakePackageConfigHelpers)

# The header's version is the project's: a release that bumps one and not
# the other would hand hosts a header that lies about the library.
file(STRINGS ${PROJECT_SOURCE_DIR}/cardN5/cardN532.h header_version REGEX "^#define CARDN5_VERSION \"")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" header_version "${header_version}")
if(NOT header_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "cardN532.h says version ${header_version}, the project ${PROJECT_VERSION}")
endif()

set(CARDN5_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/cardN5)
set(CARDN5_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/cardN5)

# Installed libraries find each other beside themselves.
if(NOT WIN32)
  set_target_properties(cardN5 ${CARDN5_STANDINS} PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS cardN5 ${CARDN5_STANDINS} cardn5_platform_headers
        EXPORT cardN5Targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/cardN5/cardN532.h DESTINATION ${CARDN5_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/
        DESTINATION ${CARDN5_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h" PATTERN "lock.h" EXCLUDE)

install(EXPORT cardN5Targets NAMESPACE cardN5:: DESTINATION ${CARDN5_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/cardN5Config.cmake.in
                              ${PROJECT_BINARY_DIR}/cardN5Config.cmake INSTALL_DESTINATION ${CARDN5_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cardN5ConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cardN5Config.cmake ${PROJECT_BINARY_DIR}/cardN5ConfigVersion.cmake
        DESTINATION ${CARDN5_INSTALL_CMAKEDIR})

# pkg-config: the prefix is found from the file's own place, so an install
# tree can be moved.
if(WIN32)
  set(CARDN5_PC_LIBS "-lCARDN532 -lhwio32 -lerrlog32 -ltiming32 -lhwconf32 -lhwinfo32")
else()
  set(CARDN5_PC_LIBS "-lcardN5 -lhwio32 -lerrlog32 -ltiming32 -lhwconf32 -lhwinfo32")
endif()
file(RELATIVE_PATH CARDN5_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(${PROJECT_SOURCE_DIR}/cmake/cardN5.pc.in ${PROJECT_BINARY_DIR}/cardN5.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/cardN5.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
