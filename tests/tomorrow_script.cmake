# scripts/tomorrow-recordings.py over a timer list fixture
# (tests/api/test_tomorrow.py), with the host's Python.
find_program(SKEDRA_PYTHON3 python3)
if(SKEDRA_PYTHON3)
  add_test(NAME tomorrow_script
    COMMAND ${SKEDRA_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/api/test_tomorrow.py)
else()
  message(STATUS "No python3: the tomorrow-recordings.py test is skipped")
endif()
