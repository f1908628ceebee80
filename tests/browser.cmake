# The end-to-end browser test (tests/browser/e2e.mjs): installs this build,
# serves it with busybox httpd (and, where installed, lighttpd) on 127.0.0.1
# and drives Debian's Chromium with playwright-core. It fills the build's
# RECORDER_ETC_DIR with a fresh demo recorder, so that build must have a
# folder of its own there.
#
#   cmake -B build-browser -DSKEDRA_BROWSER_TEST=ON -DRECORDER_ETC_DIR=$PWD/build-browser/etc
#   (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --no-package-lock)
#   cmake --build build-browser --target skedra lineup && ctest --test-dir build-browser -L browser
if(SKEDRA_BROWSER_TEST)
  if(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "SKEDRA_BROWSER_TEST needs a host build")
  endif()
  find_program(SKEDRA_NODE node REQUIRED)
  find_program(SKEDRA_BUSYBOX busybox REQUIRED)
  find_program(SKEDRA_SQLITE3 sqlite3 REQUIRED)
  find_program(SKEDRA_CHROMIUM chromium PATHS /usr/bin REQUIRED)

  add_test(NAME browser_e2e
    COMMAND ${SKEDRA_NODE} ${CMAKE_SOURCE_DIR}/tests/browser/e2e.mjs
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/browser)
  set_tests_properties(browser_e2e PROPERTIES
    LABELS browser
    TIMEOUT 600
    RUN_SERIAL TRUE
    ENVIRONMENT "SKEDRA_SOURCE_DIR=${CMAKE_SOURCE_DIR};SKEDRA_BUILD_DIR=${CMAKE_BINARY_DIR};SKEDRA_ETC_DIR=${RECORDER_ETC_DIR};SKEDRA_ARTIFACTS=${CMAKE_BINARY_DIR}/browser-artifacts;CMAKE_COMMAND=${CMAKE_COMMAND};SKEDRA_BUSYBOX=${SKEDRA_BUSYBOX};SKEDRA_CHROMIUM=${SKEDRA_CHROMIUM}")

  # The same test behind lighttpd's mod_cgi, where lighttpd is installed.
  find_program(SKEDRA_LIGHTTPD lighttpd PATHS /usr/sbin)
  if(SKEDRA_LIGHTTPD)
    add_test(NAME browser_e2e_lighttpd
      COMMAND ${SKEDRA_NODE} ${CMAKE_SOURCE_DIR}/tests/browser/e2e.mjs
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/browser)
    set_tests_properties(browser_e2e_lighttpd PROPERTIES
      LABELS browser
      TIMEOUT 600
      RUN_SERIAL TRUE
      ENVIRONMENT "SKEDRA_SOURCE_DIR=${CMAKE_SOURCE_DIR};SKEDRA_BUILD_DIR=${CMAKE_BINARY_DIR};SKEDRA_ETC_DIR=${RECORDER_ETC_DIR};SKEDRA_ARTIFACTS=${CMAKE_BINARY_DIR}/browser-artifacts;CMAKE_COMMAND=${CMAKE_COMMAND};SKEDRA_BUSYBOX=${SKEDRA_BUSYBOX};SKEDRA_CHROMIUM=${SKEDRA_CHROMIUM};SKEDRA_HTTPD=lighttpd;SKEDRA_LIGHTTPD=${SKEDRA_LIGHTTPD}")
  endif()
endif()
