# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (win32 thread
# model: the program has no threads, so it needs no threading DLL).
# freeglut comes from the static build that scripts/windows.sh makes under
# build-windows/; -DBUMPMAP_FREEGLUT_PREFIX=DIR points elsewhere.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(BUMPMAP_FREEGLUT_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build-windows/freeglut"
  CACHE PATH "Where the MinGW-w64 build of freeglut is installed")

# Headers and libraries come from the MinGW sysroot and the freeglut prefix,
# never from this machine's own /usr; programs do.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${BUMPMAP_FREEGLUT_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Keeps the machine's own glut.pc out of FindGLUT's sight.
set(ENV{PKG_CONFIG_LIBDIR} "${BUMPMAP_FREEGLUT_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
