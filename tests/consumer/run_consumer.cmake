# Installs the build into a scratch prefix, then builds tests/consumer/host.c
# against it twice, through find_package and through pkg-config, and runs
# both hosts (unless RUN is off: Windows hosts run under Wine only).
#   -DBUILD_DIR= -DSOURCE_DIR= -DWORK= -DVERSION= -DCC= [-DTOOLCHAIN=] [-DRUN=ON]
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/cardN5/cardN532.h include/cardN5/hwio32_ext.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# 1. find_package
set(args -S ${SOURCE_DIR}/tests/consumer -B ${WORK}/cmake -G Ninja -DCMAKE_PREFIX_PATH=${prefix}
         -DEXPECTED_VERSION=${VERSION} -DCMAKE_BUILD_TYPE=Release)
if(TOOLCHAIN)
  # The toolchain confines package searches to the MinGW root: point at ours.
  list(APPEND args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DcardN5_DIR=${prefix}/lib/cmake/cardN5)
endif()
run(${CMAKE_COMMAND} ${args})
run(${CMAKE_COMMAND} --build ${WORK}/cmake)
file(GLOB cmake_host ${WORK}/cmake/consumer_host ${WORK}/cmake/consumer_host.exe)

# 2. pkg-config, with the compiler alone
file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "${pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pc_dirs}")
run(pkg-config --modversion cardN5)
string(STRIP "${last_output}" pc_version)
if(NOT pc_version STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config says ${pc_version}, expected ${VERSION}")
endif()
run(pkg-config --cflags --libs cardN5)
separate_arguments(pc_flags UNIX_COMMAND "${last_output}")
set(pc_host ${WORK}/pc_host${SUFFIX})
set(rpath)
if(NOT TOOLCHAIN)
  run(pkg-config --variable=libdir cardN5)
  string(STRIP "${last_output}" libdir)
  set(rpath "-Wl,-rpath,${libdir}")
endif()
run(${CC} ${SOURCE_DIR}/tests/consumer/host.c -DCARDN5_EXPECTED_VERSION="${VERSION}" ${pc_flags} ${rpath} -o ${pc_host})

# A Windows application carries the DLLs in its own folder.
if(TOOLCHAIN)
  file(GLOB dlls ${prefix}/bin/*.dll ${prefix}/bin/*.DLL)
  file(COPY ${dlls} DESTINATION ${WORK})
  file(COPY ${dlls} DESTINATION ${WORK}/cmake)
endif()

if(RUN)
  foreach(host ${cmake_host} ${pc_host})
    run(${host})
    message(STATUS "${host}: ${last_output}")
  endforeach()
endif()
