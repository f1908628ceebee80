# The booking-time push depends on the current time. This runs the pinned-clock
# test of test_timer_write under faketime at Friday 2026-12-04 19:58 in
# Berlin; in the ordinary run that test skips itself.
find_file(SKEDRA_FAKETIME_LIB libfaketime.so.1
  PATHS /usr/lib/x86_64-linux-gnu/faketime /usr/lib/faketime NO_DEFAULT_PATH)
# clang links the sanitizer runtime into the program, where its allocator
# deadlocks in faketime's first clock_gettime (which allocates while it looks
# up the real function): there the test runs only in the other builds.
if(SKEDRA_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(STATUS "faketime cannot be preloaded under clang's sanitizers: the pinned-clock test is left out")
elseif(SKEDRA_FAKETIME_LIB AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME TimerWrite.PinnedClockUnderFaketime
    COMMAND test_timer_write --gtest_filter=*PinnedClock*)
  set_tests_properties(TimerWrite.PinnedClockUnderFaketime PROPERTIES
    ENVIRONMENT "TZ=Europe/Berlin;FAKETIME=@2026-12-04 19:58:00;DONT_FAKE_MONOTONIC=1;LD_PRELOAD=${SKEDRA_FAKETIME_LIB};ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"
    FAIL_REGULAR_EXPRESSION "SKIPPED")
elseif(CMAKE_CROSSCOMPILING_EMULATOR AND SKEDRA_TARGET_FAKETIME_LIB)
  # Under the emulator the target's own faketime is preloaded into the guest.
  add_test(NAME TimerWrite.PinnedClockUnderFaketime
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:test_timer_write>
            --gtest_filter=*PinnedClock*)
  set_tests_properties(TimerWrite.PinnedClockUnderFaketime PROPERTIES
    ENVIRONMENT "TZ=Europe/Berlin;FAKETIME=@2026-12-04 19:58:00;DONT_FAKE_MONOTONIC=1;QEMU_SET_ENV=LD_PRELOAD=${SKEDRA_TARGET_FAKETIME_LIB}"
    FAIL_REGULAR_EXPRESSION "SKIPPED")
endif()
