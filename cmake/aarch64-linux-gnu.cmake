# Cross-builds for 64-bit ARM Linux with Debian's aarch64-linux-gnu compilers,
# against a root of Debian's own arm64 packages (scripts/arm64.sh makes it in
# build-arm64/sysroot). Programs built here run on this machine under qemu,
# which CTest then puts in front of every test.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(BUMPMAP_ARM64_SYSROOT "${CMAKE_CURRENT_LIST_DIR}/../build-arm64/sysroot"
  CACHE PATH "Root of the arm64 libraries and headers to build against")
get_filename_component(BUMPMAP_ARM64_SYSROOT "${BUMPMAP_ARM64_SYSROOT}" ABSOLUTE)
# try_compile projects read this file again and need the same root.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BUMPMAP_ARM64_SYSROOT)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_SYSROOT "${BUMPMAP_ARM64_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH "${BUMPMAP_ARM64_SYSROOT}")
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Tools run here; headers, libraries and CMake packages come from the root only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian 12 and 13 name the static emulator qemu-aarch64-static, Debian 14
# just qemu-aarch64. -L makes it load the program's libraries from the root.
find_program(BUMPMAP_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(BUMPMAP_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${BUMPMAP_QEMU_AARCH64};-L;${BUMPMAP_ARM64_SYSROOT}")
endif()
