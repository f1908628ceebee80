# cmake -DINPUT=<file.json> -DOUTPUT=<file.json> -P minify_json.cmake
# Writes the JSON document of INPUT to OUTPUT with the whitespace between its
# tokens taken out (strings are kept as they are). A CMake script, so that
# every build (cross builds included) needs no other tool.
foreach(var INPUT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "minify_json.cmake: ${var} is not set")
  endif()
endforeach()
file(READ "${INPUT}" text)

# The tokens of the document are its strings and the runs of other
# characters between whitespace. A semicolon separates CMake's list
# elements and square brackets group them: both are swapped for control
# characters (which JSON never holds unescaped) while the list is made.
string(ASCII 1 semicolon)
string(ASCII 2 open)
string(ASCII 3 close)
string(REPLACE ";" "${semicolon}" text "${text}")
string(REPLACE "[" "${open}" text "${text}")
string(REPLACE "]" "${close}" text "${text}")
string(REGEX MATCHALL "\"([^\"\\\\]|\\\\.)*\"|[^\" \t\r\n]+" tokens "${text}")
string(REPLACE ";" "" text "${tokens}")
string(REPLACE "${semicolon}" ";" text "${text}")
string(REPLACE "${open}" "[" text "${text}")
string(REPLACE "${close}" "]" text "${text}")

file(WRITE "${OUTPUT}.tmp" "${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
