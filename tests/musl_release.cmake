# Checks of the musl release build (cmake/mipsel-linux-musl.cmake), run under
# qemu-mipsel with nothing but the musl loader from the sysroot:
#   musl_unwind          a throw and catch through the static C++ runtime
#   musl_release_layout  the program's interpreter and libraries
if(NOT SKEDRA_MUSL)
  return()
endif()
find_program(SKEDRA_QEMU_MIPSEL qemu-mipsel)
find_program(SKEDRA_MIPSEL_READELF NAMES mipsel-linux-gnu-readelf readelf)

add_executable(musl_unwind ${CMAKE_CURRENT_LIST_DIR}/musl_unwind.cpp)
target_link_libraries(musl_unwind PRIVATE glibc_compat)
if(SKEDRA_QEMU_MIPSEL)
  add_test(NAME musl_unwind COMMAND ${SKEDRA_QEMU_MIPSEL} ${SKEDRA_MUSL_LOADER}
    $<TARGET_FILE:musl_unwind>)
  set_tests_properties(musl_unwind PROPERTIES PASS_REGULAR_EXPRESSION "exceptions unwind under musl")
endif()
add_test(NAME musl_release_layout COMMAND ${CMAKE_COMMAND}
  -DPROGRAM=$<TARGET_FILE:skedra> -DLIBRARY=$<TARGET_FILE:lineup>
  -DREADELF=${SKEDRA_MIPSEL_READELF} -DINTERPRETER=${SKEDRA_PROGRAM_INTERPRETER}
  -P ${CMAKE_SOURCE_DIR}/cmake/check_release_binaries.cmake)

# SQLite's shell, built like the program's SQLite, for the emulated recorder
# (scripts/recorder-vm): the tests read the timer table inside the guest with
# it. Not part of the release tree.
if(EXISTS ${SKEDRA_MUSL_SYSROOT}/sqlite/shell.c)
  add_executable(guest_sqlite3 EXCLUDE_FROM_ALL ${SKEDRA_MUSL_SYSROOT}/sqlite/shell.c)
  target_compile_definitions(guest_sqlite3 PRIVATE ${SKEDRA_SQLITE_OPTIONS})
  target_compile_options(guest_sqlite3 PRIVATE -w)
  target_link_libraries(guest_sqlite3 PRIVATE sqlite3 glibc_compat)
  set_target_properties(guest_sqlite3 PROPERTIES OUTPUT_NAME sqlite3
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/guest-tools
    LINK_OPTIONS -Wl,--dynamic-linker=${SKEDRA_PROGRAM_INTERPRETER})
endif()

# The linker's map of the program, from which the release stage of
# scripts/test reports how much of skedra.cgi is SQLite.
target_link_options(skedra PRIVATE LINKER:-Map=${CMAKE_BINARY_DIR}/skedra.map)

# The power-cut test's reseeding of the emulated recorder's random generator
# after each restore of its saved state (tests/powercut/reseed.c).
add_executable(guest_reseed EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/powercut/reseed.c)
target_link_libraries(guest_reseed PRIVATE glibc_compat)
set_target_properties(guest_reseed PROPERTIES OUTPUT_NAME reseed
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/guest-tools
  LINK_OPTIONS -Wl,--dynamic-linker=${SKEDRA_PROGRAM_INTERPRETER})
