# The channel library: the readers and getChannels of every build
# (test_lineup.cpp), and the shape of the built libraries.

if(TARGET test_lineup)
  # The tests call the readers directly and open every build's library.
  target_link_libraries(test_lineup PRIVATE lineup_sources ${CMAKE_DL_LIBS})
  add_dependencies(test_lineup lineup_plain lineup_fw1016 lineup_fw1080)
  target_compile_definitions(test_lineup PRIVATE
    LINEUP_TEST_PLAIN_LIBRARY="$<TARGET_FILE:lineup_plain>"
    LINEUP_TEST_FW1016_LIBRARY="$<TARGET_FILE:lineup_fw1016>"
    LINEUP_TEST_FW1080_LIBRARY="$<TARGET_FILE:lineup_fw1080>"
    LINEUP_TEST_SELECTED_SOURCE="${LINEUP_SOURCE}")
endif()

# Exports, SONAME and needed libraries of every build, read with the
# target's binutils.
if(CMAKE_NM AND CMAKE_READELF)
  set(lineup_check ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DREADELF=${CMAKE_READELF}
      -DSANITIZED=${SKEDRA_SANITIZE})
  set(lineup_check_script -P ${CMAKE_SOURCE_DIR}/lineup/check_library.cmake)
  foreach(lineup_build lineup lineup_plain lineup_fw1016 lineup_fw1080)
    add_test(NAME ${lineup_build}_shape
             COMMAND ${lineup_check} -DLIBRARY=$<TARGET_FILE:${lineup_build}> ${lineup_check_script})
  endforeach()
  add_test(NAME skedra_links_lineup
           COMMAND ${lineup_check} -DLIBRARY=$<TARGET_FILE:lineup> -DPROGRAM=$<TARGET_FILE:skedra>
                   ${lineup_check_script})
else()
  message(STATUS "No nm/readelf for the target: the liblineup.so shape tests are skipped")
endif()
