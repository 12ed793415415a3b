# 32-bit Windows with MinGW-w64. The win32 thread model keeps libwinpthread
# out of the imports (no std::mutex: platform/lock.h has a critical section).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CARDN5_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${CARDN5_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${CARDN5_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${CARDN5_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${CARDN5_MINGW_PREFIX}-dlltool)
set(CMAKE_OBJDUMP ${CARDN5_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${CARDN5_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs cannot run here directly; Wine tests name wine themselves.
