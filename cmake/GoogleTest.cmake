# GoogleTest, built from the sources Debian ships in /usr/src/googletest.
# The packaged libgtest is 64-bit only, so the -m32 build cannot link it, and
# building it here with the same compiler and flags as the tests keeps every
# preset (native, sanitizers, -m32) on one path.
#
# Provides GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main.
include_guard(GLOBAL)

set(CARDN5_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources (the googletest package)")

if(TARGET GTest::gtest)
  return()
endif()

if(NOT EXISTS "${CARDN5_GTEST_SOURCE_DIR}/CMakeLists.txt")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    message(FATAL_ERROR "No GoogleTest sources in ${CARDN5_GTEST_SOURCE_DIR}; a 32-bit build needs them "
                        "(tools/install-deps.sh installs the googletest package)")
  endif()
  find_package(GTest REQUIRED)
  if(NOT TARGET GTest::gmock)
    message(FATAL_ERROR "GoogleTest found without GTest::gmock; install libgmock-dev or googletest")
  endif()
  return()
endif()

# Options of GoogleTest's own CMakeLists: a static library, nothing installed,
# and the C runtime choice MSVC would otherwise make differently from ours.
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_build_tests OFF CACHE BOOL "" FORCE)
set(gtest_build_samples OFF CACHE BOOL "" FORCE)
set(gmock_build_tests OFF CACHE BOOL "" FORCE)

block(SCOPE_FOR VARIABLES)
  # Its code is not ours: our -Werror and visibility rules stay out of it.
  set(BUILD_SHARED_LIBS OFF)
  set(CMAKE_COMPILE_WARNING_AS_ERROR OFF)
  set(CMAKE_CXX_VISIBILITY_PRESET default)
  set(CMAKE_VISIBILITY_INLINES_HIDDEN OFF)
  add_subdirectory("${CARDN5_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL)
endblock()

foreach(lib IN ITEMS gtest gtest_main gmock gmock_main)
  if(NOT TARGET ${lib})
    message(FATAL_ERROR "${CARDN5_GTEST_SOURCE_DIR} did not define the target ${lib}")
  endif()
  # Sanitized tests with an uninstrumented framework miss races and overflows
  # that pass through the framework's own code (assertions from threads).
  if(CARDN5_SANITIZE STREQUAL "address")
    target_compile_options(${lib} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
  elseif(CARDN5_SANITIZE STREQUAL "thread")
    target_compile_options(${lib} PRIVATE -fsanitize=thread)
  endif()
  if(NOT TARGET GTest::${lib})  # newer GoogleTest defines the aliases itself
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
