# skedra's responses compared byte for byte with the recorded ones
# (tests/golden/): the shipped and a set of unusual templates over the
# benchmark's timers, with the clock pinned by faketime.
find_file(SKEDRA_FAKETIME_LIB libfaketime.so.1
  PATHS /usr/lib/x86_64-linux-gnu/faketime /usr/lib/faketime NO_DEFAULT_PATH)
find_program(SKEDRA_SQLITE3 sqlite3)
if(SKEDRA_FAKETIME_LIB AND SKEDRA_SQLITE3 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME Golden.Responses
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/golden/check $<TARGET_FILE:skedra> ${RECORDER_ETC_DIR})
  # It replaces the channel file of the build's etc folder, which other
  # tests read: it runs alone.
  set_tests_properties(Golden.Responses PROPERTIES
    ENVIRONMENT "SKEDRA_FAKETIME_LIB=${SKEDRA_FAKETIME_LIB}" RUN_SERIAL TRUE)
endif()
