# The calendar feed read by an independent iCalendar parser: ics/write_calendar
# writes the feed of a fixed set of timers and ics/parse.mjs reads it with
# ical.js, expands the events over 14 days and compares their starts. Skipped
# when node or the package is missing (scripts/test installs it):
#
#   (cd tests/ics && npm install --no-audit --no-fund --no-package-lock)
add_executable(write_calendar ${CMAKE_CURRENT_SOURCE_DIR}/ics/write_calendar.cpp)
target_link_libraries(write_calendar PRIVATE skedra_test_support)
if(NOT CMAKE_CROSSCOMPILING)
  find_program(SKEDRA_NODE node)
  if(SKEDRA_NODE)
    add_test(NAME calendar_parse
      COMMAND ${SKEDRA_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/ics/parse.mjs $<TARGET_FILE:write_calendar>)
  else()
    add_test(NAME calendar_parse COMMAND sh -c "echo node is missing; exit 77")
  endif()
  set_tests_properties(calendar_parse PROPERTIES SKIP_RETURN_CODE 77)
endif()
