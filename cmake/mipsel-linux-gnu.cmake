# Cross build for the recorder: 32-bit little-endian MIPS Linux, with Debian's
# g++-mipsel-linux-gnu. SQLite (and the faketime preload used by the tests)
# come from a sysroot that scripts/mips-sysroot unpacks from Debian's mipsel
# packages; the C library comes with the cross toolchain.
#
#   scripts/mips-sysroot build-mipsel/sysroot
#   cmake -S . -B build-mipsel -DCMAKE_TOOLCHAIN_FILE=cmake/mipsel-linux-gnu.cmake
#
# The sysroot defaults to <build>/sysroot; -DSKEDRA_MIPS_SYSROOT=DIR or the
# environment variable SKEDRA_MIPS_SYSROOT names another one. When qemu-mipsel
# is installed it is the emulator, so that GoogleTest discovery and ctest run
# the target's test programs.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(CMAKE_LIBRARY_ARCHITECTURE mipsel-linux-gnu)

# Debian's cross compilers unless the command line names others.
if(NOT CMAKE_C_COMPILER)
  set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
endif()
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
endif()

if(NOT SKEDRA_MIPS_SYSROOT)
  if(DEFINED ENV{SKEDRA_MIPS_SYSROOT})
    set(SKEDRA_MIPS_SYSROOT "$ENV{SKEDRA_MIPS_SYSROOT}")
  else()
    set(SKEDRA_MIPS_SYSROOT "${CMAKE_BINARY_DIR}/sysroot")
  endif()
endif()
get_filename_component(SKEDRA_MIPS_SYSROOT "${SKEDRA_MIPS_SYSROOT}" ABSOLUTE)
set(SKEDRA_MIPS_SYSROOT "${SKEDRA_MIPS_SYSROOT}" CACHE PATH "mipsel sysroot made by scripts/mips-sysroot")
# try_compile projects read this file again in their own build directory.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SKEDRA_MIPS_SYSROOT)

if(NOT EXISTS "${SKEDRA_MIPS_SYSROOT}/usr/include/sqlite3.h")
  message(FATAL_ERROR
    "No mipsel sysroot at ${SKEDRA_MIPS_SYSROOT}: run scripts/mips-sysroot ${SKEDRA_MIPS_SYSROOT}")
endif()

# Libraries and headers of the target only; programs of the host.
set(CMAKE_FIND_ROOT_PATH "${SKEDRA_MIPS_SYSROOT}" /usr/mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The recorder has no C++ runtime of its own: link it into every binary.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")

# GoogleTest is built from Debian's sources with the cross compiler.
set(SKEDRA_BUILD_GTEST ON CACHE BOOL "Build GoogleTest from Debian's sources (for cross builds)")

# The user-mode emulator resolves the guest's absolute paths (the loader
# /lib/ld.so.1, /usr/lib/mipsel-linux-gnu/...) inside the sysroot first. A
# one-word wrapper carries the sysroot option: the CGI test harness execs the
# emulator directly and receives it as one compile definition.
find_program(SKEDRA_QEMU_MIPSEL qemu-mipsel)
if(SKEDRA_QEMU_MIPSEL)
  set(SKEDRA_QEMU_WRAPPER "${SKEDRA_MIPS_SYSROOT}/.qemu-mipsel")
  file(CONFIGURE OUTPUT "${SKEDRA_QEMU_WRAPPER}" CONTENT
    "#!/bin/sh\nexec '${SKEDRA_QEMU_MIPSEL}' -L '${SKEDRA_MIPS_SYSROOT}' \"$@\"\n")
  file(CHMOD "${SKEDRA_QEMU_WRAPPER}" PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${SKEDRA_QEMU_WRAPPER}")
endif()

# Guest path of the target's faketime preload (from the sysroot), for tests
# that pin the clock under the emulator; qemu-mipsel takes it as
# "-E LD_PRELOAD=..." or through QEMU_SET_ENV=LD_PRELOAD=...
if(EXISTS "${SKEDRA_MIPS_SYSROOT}/usr/lib/mipsel-linux-gnu/faketime/libfaketime.so.1")
  set(SKEDRA_TARGET_FAKETIME_LIB /usr/lib/mipsel-linux-gnu/faketime/libfaketime.so.1)
endif()
