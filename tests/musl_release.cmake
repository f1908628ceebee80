# Checks of the musl release build (cmake/mipsel-linux-musl.cmake), run under
# qemu-mipsel with nothing but the musl loader from the sysroot:
#   musl_unwind          a throw and catch through the static C++ runtime
#   musl_release_layout  the program's interpreter and libraries
#   musl_zone_tables     the zone tables of the GoogleTest suite (below)
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
# The zone tables under musl: firmware and interface rows in the normal, the
# skipped and the doubled hour, at the last minute of the 32-bit clock and past
# it, and their list rows, in Berlin, New York, Sydney and a zone west of UTC
# south of the equator; zone names and rules. The C library must not find zone
# files the recorder lacks, and the list's channel file is the recorder's
# path: the runner starts in a mount namespace of its own with an empty tmpfs
# over both. The filter leaves out the files' other tests: one sets zone names
# in the C library directly, one is a death test.
find_program(SKEDRA_UNSHARE unshare)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_executable(musl_zone_tables ${CMAKE_CURRENT_LIST_DIR}/test_triggers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_schedrows.cpp ${CMAKE_CURRENT_LIST_DIR}/test_time_zone.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/firmware.cpp ${CMAKE_CURRENT_LIST_DIR}/support/test_env.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/stdout_capture.cpp ${CMAKE_CURRENT_LIST_DIR}/musl_gtest_compat.c)
foreach(target gtest gtest_main musl_zone_tables)
  target_compile_options(${target} PRIVATE -include ${CMAKE_CURRENT_LIST_DIR}/musl_gtest_compat.h)
endforeach()
target_include_directories(musl_zone_tables PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(musl_zone_tables PRIVATE SKEDRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(musl_zone_tables PRIVATE app gtest_main glibc_compat)
if(SKEDRA_QEMU_MIPSEL AND SKEDRA_UNSHARE)
  add_test(NAME musl_zone_tables COMMAND ${SKEDRA_UNSHARE} --mount --map-root-user sh -c
    "mount -t tmpfs none /usr/share/zoneinfo && mount -t tmpfs none '${RECORDER_ETC_DIR}' && exec \"$@\""
    sh ${SKEDRA_QEMU_MIPSEL} ${SKEDRA_MUSL_LOADER} $<TARGET_FILE:musl_zone_tables>
    --gtest_filter=Triggers.FirmwareAndInterfaceRowsReadTheSameInstantInEveryHour:SchedrowsTest.FirmwareRowsListTheirDefaultsInEveryHour:RecorderTimeZone.*:ZoneRule.*:ZoneTable.*)
  # Every table ran and passed: a filter that matches nothing fails too.
  set_tests_properties(musl_zone_tables PROPERTIES ENVIRONMENT TZ=UTC
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 5 tests\\." FAIL_REGULAR_EXPRESSION "FAILED")
endif()
add_test(NAME musl_release_layout COMMAND ${CMAKE_COMMAND}
  -DPROGRAM=$<TARGET_FILE:skedra> -DLIBRARY=$<TARGET_FILE:lineup>
  -DREADELF=${SKEDRA_MIPSEL_READELF} -DINTERPRETER=${SKEDRA_PROGRAM_INTERPRETER}
  -P ${CMAKE_SOURCE_DIR}/cmake/check_release_binaries.cmake)

# SQLite's shell for the emulated recorder (scripts/recorder-vm): the tests
# read the timer table inside the guest with it, and its firmware stand-in
# writes with it. It has a SQLite of its own with the default interfaces, as a
# firmware's would: the program's copy leaves out some that the shell uses.
# Not part of the release tree.
if(EXISTS ${SKEDRA_MUSL_SYSROOT}/sqlite/shell.c)
  add_executable(guest_sqlite3 EXCLUDE_FROM_ALL ${SKEDRA_MUSL_SYSROOT}/sqlite/shell.c
    ${SKEDRA_SQLITE_AMALGAMATION})
  target_include_directories(guest_sqlite3 PRIVATE ${SKEDRA_MUSL_SYSROOT}/sqlite)
  target_compile_definitions(guest_sqlite3 PRIVATE SQLITE_THREADSAFE=0 HAVE_USLEEP=1
    HAVE_LOCALTIME_R=1 HAVE_GMTIME_R=1)
  target_compile_options(guest_sqlite3 PRIVATE -w)
  target_link_libraries(guest_sqlite3 PRIVATE glibc_compat)
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
