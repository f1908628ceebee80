# Checks the shape of a built liblineup.so, run as a test with cmake -P:
#   -DLIBRARY=<file>    the library
#   -DNM=<nm> -DREADELF=<readelf>   binutils for the target
#   -DSANITIZED=ON|OFF  built with the sanitizers, whose runtimes add
#                       NEEDED entries of their own
#   -DPROGRAM=<file>    optional: check instead that this program is linked
#                       against LIBRARY and resolves getChannels through the
#                       dynamic loader
cmake_minimum_required(VERSION 3.18)

foreach(variable LIBRARY NM READELF)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_library.cmake needs -D${variable}=...")
  endif()
endforeach()

# Runs a tool and returns its standard output as a list of lines.
function(run_tool result)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output
                  ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${status}): ${errors}")
  endif()
  string(REPLACE "\n" ";" lines "${output}")
  set(${result} "${lines}" PARENT_SCOPE)
endfunction()

# The bracketed values of the readelf -d entries of one tag (NEEDED, SONAME,
# RPATH, RUNPATH) of file.
function(dynamic_entries result file tag)
  run_tool(lines ${READELF} -d ${file})
  set(values "")
  foreach(line IN LISTS lines)
    if(line MATCHES "\\(${tag}\\)[^[]*\\[(.*)\\]")
      list(APPEND values "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${result} "${values}" PARENT_SCOPE)
endfunction()

# Symbol names that nm -D lists for file with the given selection option.
function(dynamic_symbols result file option)
  run_tool(lines ${NM} -D ${option} ${file})
  set(names "")
  foreach(line IN LISTS lines)
    if(line MATCHES "([^ ]+)$")
      string(REGEX REPLACE "@.*" "" name "${CMAKE_MATCH_1}")
      list(APPEND names "${name}")
    endif()
  endforeach()
  set(${result} "${names}" PARENT_SCOPE)
endfunction()

set(failures "")

if(DEFINED PROGRAM)
  dynamic_entries(needed ${PROGRAM} NEEDED)
  if(NOT "liblineup.so" IN_LIST needed)
    list(JOIN needed " " needed_text)
    list(APPEND failures "${PROGRAM} has no NEEDED liblineup.so (NEEDED: ${needed_text})")
  endif()
  dynamic_entries(rpath ${PROGRAM} RPATH)
  dynamic_entries(runpath ${PROGRAM} RUNPATH)
  get_filename_component(library_dir ${LIBRARY} DIRECTORY)
  string(REPLACE ":" ";" search_path "${rpath}:${runpath}")
  if(NOT library_dir IN_LIST search_path)
    list(APPEND failures "${PROGRAM} does not search ${library_dir} (RPATH '${rpath}', RUNPATH '${runpath}')")
  endif()
  dynamic_symbols(undefined ${PROGRAM} --undefined-only)
  if(NOT "getChannels" IN_LIST undefined)
    list(APPEND failures "${PROGRAM} does not take getChannels from a shared library")
  endif()
  # A sanitizer runtime linked into the program (clang's) looks up the
  # functions it intercepts with dlsym itself.
  foreach(loader_call dlopen dlsym dlmopen)
    if(SANITIZED AND loader_call STREQUAL "dlsym")
      continue()
    endif()
    if(loader_call IN_LIST undefined)
      list(APPEND failures "${PROGRAM} calls ${loader_call}: the library must be linked, not opened")
    endif()
  endforeach()
else()
  # The library's own exports: exactly getChannels. Symbols the sanitizer
  # runtimes may add are theirs, not the library's.
  dynamic_symbols(defined ${LIBRARY} --defined-only)
  set(exported "")
  foreach(name IN LISTS defined)
    if(SANITIZED AND name MATCHES "^__(asan|ubsan|lsan|sanitizer)")
      continue()
    endif()
    list(APPEND exported "${name}")
  endforeach()
  if(NOT exported STREQUAL "getChannels")
    list(JOIN exported " " exported_text)
    list(APPEND failures "${LIBRARY} exports '${exported_text}', not just getChannels")
  endif()

  dynamic_entries(soname ${LIBRARY} SONAME)
  if(NOT soname STREQUAL "liblineup.so")
    list(APPEND failures "${LIBRARY} has SONAME '${soname}', not liblineup.so")
  endif()

  # Nothing but the C library (and its dynamic loader) is needed on the
  # recorder; under the sanitizers their runtimes come on top.
  dynamic_entries(needed ${LIBRARY} NEEDED)
  foreach(library IN LISTS needed)
    if(library MATCHES "^(libc\\.so|ld-|ld\\.so)")
      continue()
    endif()
    if(SANITIZED AND NOT library MATCHES "^(libstdc\\+\\+|libgcc_s)")
      continue()
    endif()
    list(APPEND failures "${LIBRARY} needs ${library}")
  endforeach()
endif()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}")
endif()
message(STATUS "${LIBRARY}: ok")
