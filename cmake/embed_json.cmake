# cmake -DINPUT=<file.json> -DOUTPUT=<file.cpp> -DFUNCTION=<name> -DHEADER=<header>
#   -P embed_json.cmake
# Writes a C++ source whose function returns the JSON document of INPUT with
# the whitespace between its tokens taken out (strings are kept as they are).
# A CMake script, so that every build (cross builds included) needs no other
# tool.
foreach(var INPUT OUTPUT FUNCTION HEADER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed_json.cmake: ${var} is not set")
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

if(text MATCHES "\\)json\"")
  message(FATAL_ERROR "${INPUT} holds the raw string's end )json\"")
endif()
string(LENGTH "${text}" length)
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Generated from ${source} by cmake/embed_json.cmake.
#include \"${HEADER}\"

std::string_view ${FUNCTION}() {
  static constexpr char kDocument[] = R\"json(${text})json\";
  static_assert(sizeof kDocument == ${length} + 1, \"the document's length\");
  return {kDocument, sizeof kDocument - 1};
}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
