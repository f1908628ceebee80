# The calendar feed read by an independent iCalendar parser: ics/parse.mjs
# has test_recordings_calendar write a fixed feed, reads it with ical.js and
# compares the recordings over 14 days. Skipped when node or the package is
# missing (scripts/test installs it):
#
#   (cd tests/ics && npm install --no-audit --no-fund --no-package-lock)
if(NOT CMAKE_CROSSCOMPILING)
  find_program(SKEDRA_NODE node)
  if(SKEDRA_NODE)
    add_test(NAME calendar_parse COMMAND ${SKEDRA_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/ics/parse.mjs
      $<TARGET_FILE:test_recordings_calendar>)
  else()
    add_test(NAME calendar_parse COMMAND sh -c "echo node is missing; exit 77")
  endif()
  set_tests_properties(calendar_parse PROPERTIES SKIP_RETURN_CODE 77)
endif()
