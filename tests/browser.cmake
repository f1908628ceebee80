# The tests of the installed program over HTTP: the end-to-end browser test
# (tests/browser/e2e.mjs, Debian's Chromium driven by playwright-core) and the
# JSON interface's contract test (tests/api/contract.mjs). Each installs this
# build and serves it with busybox httpd (and, where installed, lighttpd) on
# 127.0.0.1 (tests/support/served_tree.mjs). They fill the build's
# RECORDER_ETC_DIR with a fresh demo recorder, so that build must have a
# folder of its own there.
#
#   cmake -B build-browser -DSKEDRA_BROWSER_TEST=ON -DRECORDER_ETC_DIR=$PWD/build-browser/etc
#   (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --no-package-lock)
#   (cd tests/api && npm install --no-package-lock)
#   cmake --build build-browser --target skedra lineup && ctest --test-dir build-browser -L browser
if(SKEDRA_BROWSER_TEST)
  if(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "SKEDRA_BROWSER_TEST needs a host build")
  endif()
  find_program(SKEDRA_NODE node REQUIRED)
  find_program(SKEDRA_BUSYBOX busybox REQUIRED)
  find_program(SKEDRA_SQLITE3 sqlite3 REQUIRED)
  find_program(SKEDRA_CHROMIUM chromium PATHS /usr/bin REQUIRED)

  # test name, script, the web server (busybox or lighttpd) that serves the tree
  function(skedra_served_tree_test name script server)
    get_filename_component(folder ${script} DIRECTORY)
    add_test(NAME ${name} COMMAND ${SKEDRA_NODE} ${script} WORKING_DIRECTORY ${folder})
    set_tests_properties(${name} PROPERTIES
      LABELS browser
      TIMEOUT 600
      RUN_SERIAL TRUE
      ENVIRONMENT "SKEDRA_SOURCE_DIR=${CMAKE_SOURCE_DIR};SKEDRA_BUILD_DIR=${CMAKE_BINARY_DIR};SKEDRA_ETC_DIR=${RECORDER_ETC_DIR};SKEDRA_ARTIFACTS=${CMAKE_BINARY_DIR}/browser-artifacts;CMAKE_COMMAND=${CMAKE_COMMAND};SKEDRA_BUSYBOX=${SKEDRA_BUSYBOX};SKEDRA_CHROMIUM=${SKEDRA_CHROMIUM};SKEDRA_HTTPD=${server};SKEDRA_LIGHTTPD=${SKEDRA_LIGHTTPD}")
  endfunction()

  # The same tests behind lighttpd's mod_cgi, where lighttpd is installed.
  find_program(SKEDRA_LIGHTTPD lighttpd PATHS /usr/sbin)
  set(servers busybox)
  if(SKEDRA_LIGHTTPD)
    list(APPEND servers lighttpd)
  endif()
  foreach(server ${servers})
    set(suffix "")
    if(server STREQUAL "lighttpd")
      set(suffix _lighttpd)
    endif()
    skedra_served_tree_test(browser_e2e${suffix} ${CMAKE_SOURCE_DIR}/tests/browser/e2e.mjs ${server})
    # The JSON interface held against its OpenAPI document (tests/api).
    skedra_served_tree_test(api_contract${suffix} ${CMAKE_SOURCE_DIR}/tests/api/contract.mjs ${server})
  endforeach()
endif()
