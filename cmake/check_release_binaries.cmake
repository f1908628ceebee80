# Checks the binaries of the musl release build, run with cmake -P:
#   -DPROGRAM=<skedra> -DLIBRARY=<liblineup.so> -DREADELF=<readelf>
#   -DINTERPRETER=<the tree's musl loader, absolute>
# The program must name that loader and need only liblineup.so and musl's
# libc.so; the library only libc.so. Anything of glibc fails the check.
cmake_minimum_required(VERSION 3.18)

function(read_elf result file)
  execute_process(COMMAND ${READELF} -ldW ${file} RESULT_VARIABLE status
    OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${READELF} ${file} failed: ${errors}")
  endif()
  set(${result} "${output}" PARENT_SCOPE)
endfunction()

function(needed_of result text)
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]]*\\]" entries "${text}")
  set(names "")
  foreach(entry ${entries})
    string(REGEX REPLACE ".*\\[([^]]*)\\]" "\\1" name "${entry}")
    list(APPEND names ${name})
  endforeach()
  list(SORT names)
  set(${result} "${names}" PARENT_SCOPE)
endfunction()

read_elf(program "${PROGRAM}")
string(REGEX MATCH "Requesting program interpreter: ([^]]*)\\]" found "${program}")
if(NOT CMAKE_MATCH_1 STREQUAL INTERPRETER)
  message(FATAL_ERROR "${PROGRAM}: interpreter '${CMAKE_MATCH_1}', expected '${INTERPRETER}'")
endif()
needed_of(needed "${program}")
if(NOT needed STREQUAL "libc.so;liblineup.so")
  message(FATAL_ERROR "${PROGRAM} needs '${needed}', expected only libc.so and liblineup.so")
endif()

read_elf(library "${LIBRARY}")
needed_of(needed "${library}")
if(NOT needed STREQUAL "libc.so")
  message(FATAL_ERROR "${LIBRARY} needs '${needed}', expected only libc.so")
endif()
message(STATUS "release binaries use ${INTERPRETER} and musl's libc.so only")
