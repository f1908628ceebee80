# Release build for the recorder: 32-bit little-endian MIPS Linux with musl as
# the C library, so that the installed tree needs nothing of the recorder but
# its kernel. Debian's g++-mipsel-linux-gnu compiles and links; the C library
# (musl-dev:mipsel, musl:mipsel) and SQLite's amalgamation, made from Debian's
# SQLite source, come from a sysroot that scripts/musl-sysroot prepares:
#
#   scripts/musl-sysroot build-release/musl-sysroot
#   cmake -S . -B build-release -DCMAKE_TOOLCHAIN_FILE=cmake/mipsel-linux-musl.cmake
#   cmake --build build-release -j2 --target package
#
# The sysroot defaults to <build>/musl-sysroot; -DSKEDRA_MUSL_SYSROOT=DIR or
# the environment variable SKEDRA_MUSL_SYSROOT names another one.
#
# The compiler's own C library (glibc) is kept out: its headers by -nostdinc,
# its start files and libraries by the specs file below. The C++ runtime
# (libstdc++, libgcc) is linked statically; platform/glibc_compat.h and
# platform/glibc_compat.c supply the few glibc names it was built against.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

if(NOT CMAKE_C_COMPILER)
  set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
endif()
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
endif()

if(NOT SKEDRA_MUSL_SYSROOT)
  if(DEFINED ENV{SKEDRA_MUSL_SYSROOT})
    set(SKEDRA_MUSL_SYSROOT "$ENV{SKEDRA_MUSL_SYSROOT}")
  else()
    set(SKEDRA_MUSL_SYSROOT "${CMAKE_BINARY_DIR}/musl-sysroot")
  endif()
endif()
get_filename_component(SKEDRA_MUSL_SYSROOT "${SKEDRA_MUSL_SYSROOT}" ABSOLUTE)
set(SKEDRA_MUSL_SYSROOT "${SKEDRA_MUSL_SYSROOT}" CACHE PATH "musl sysroot made by scripts/musl-sysroot")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SKEDRA_MUSL_SYSROOT)

set(musl_include "${SKEDRA_MUSL_SYSROOT}/usr/include/mipsel-linux-musl")
set(musl_lib "${SKEDRA_MUSL_SYSROOT}/usr/lib/mipsel-linux-musl")
set(musl_shared "${SKEDRA_MUSL_SYSROOT}/lib/mipsel-linux-musl")
set(SKEDRA_MUSL_LOADER "${SKEDRA_MUSL_SYSROOT}/lib/ld-musl-mipsel.so.1")
set(SKEDRA_SQLITE_AMALGAMATION "${SKEDRA_MUSL_SYSROOT}/sqlite/sqlite3.c")
foreach(needed "${musl_include}/stdio.h" "${musl_lib}/crt1.o" "${SKEDRA_MUSL_LOADER}"
    "${SKEDRA_SQLITE_AMALGAMATION}")
  if(NOT EXISTS "${needed}")
    message(FATAL_ERROR
      "No musl sysroot at ${SKEDRA_MUSL_SYSROOT} (${needed} is missing): "
      "run scripts/musl-sysroot ${SKEDRA_MUSL_SYSROOT}")
  endif()
endforeach()

# Header search: libstdc++'s headers first (they include_next the C headers),
# then the compiler's own, then musl's; none of glibc's.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include
  OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpversion
  OUTPUT_VARIABLE gcc_version OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX MATCH "^[0-9]+" gcc_major "${gcc_version}")
set(cxx_include /usr/mipsel-linux-gnu/include/c++/${gcc_major})
get_filename_component(compat_header "${CMAKE_CURRENT_LIST_DIR}/../platform/glibc_compat.h" ABSOLUTE)
set(c_includes "-nostdinc -isystem ${gcc_include} -isystem ${musl_include}")
set(CMAKE_C_FLAGS_INIT "${c_includes}")
set(CMAKE_CXX_FLAGS_INIT
  "-nostdinc -isystem ${cxx_include} -isystem ${cxx_include}/mipsel-linux-gnu -isystem ${cxx_include}/backward ${c_includes} -include ${compat_header}")

# Linking: musl's start files and libraries in place of glibc's, the C
# runtime files of the compiler around them, libgcc always static, and the
# table of unwind sections (--eh-frame-hdr) that exceptions are found by. The
# installed program names the tree's own loader (set in CMakeLists.txt).
set(musl_specs "${CMAKE_BINARY_DIR}/musl.specs")
file(WRITE "${musl_specs}" "\
*startfile:
%{!shared: ${musl_lib}/crt1.o} ${musl_lib}/crti.o %{shared:crtbeginS.o%s;:crtbegin.o%s}

*endfile:
%{shared:crtendS.o%s;:crtend.o%s} ${musl_lib}/crtn.o

*link_libgcc:
-L${musl_shared} -L${musl_lib} -L .%s

*libgcc:
libgcc.a%s %:if-exists(libgcc_eh.a%s)

*link:
-nostdlib --eh-frame-hdr -melf32ltsmip %{shared:-shared -Bsymbolic;:-dynamic-linker /lib/ld-musl-mipsel.so.1} %{rdynamic:-export-dynamic}
")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-specs=${musl_specs} -no-pie -static-libstdc++ -static-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-specs=${musl_specs} -static-libstdc++ -static-libgcc")
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)

set(CMAKE_FIND_ROOT_PATH "${SKEDRA_MUSL_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(SKEDRA_MUSL ON CACHE BOOL "Release build against musl")
# The release build carries its own checks (tests/musl_release.cmake) and of
# the GoogleTest suite only the zone tables; the glibc cross build runs the
# whole suite under qemu-mipsel.
set(SKEDRA_TESTS OFF CACHE BOOL "Build the test suite")
