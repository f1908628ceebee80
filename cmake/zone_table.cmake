# Writes the program's table of zone names and their POSIX rules (a C++
# include file) from a folder of zone files, Debian's tzdata:
#
#   cmake -DZONEINFO=/usr/share/zoneinfo -DOUTPUT=zone_table.inc -P cmake/zone_table.cmake
#
# Every zone file (TZif, version 2 or later) ends with the rule that holds
# after its last listed change, on a line of its own: "\n<rule>\n". A recorder
# without zone files reads a zone name through this table. The folders of
# other views of the same zones (posix/, right/ with leap seconds) and the
# host's own settings (localtime, posixrules) stay out; so does a zone whose
# file carries no rule.
#
# The include file defines, sorted by name and without separators:
#   kZoneNames, kZoneNameAt   the names, and where each starts (plus the end)
#   kZoneRuleOf               each name's rule, as an index into the rules
#   kZoneRules, kZoneRuleAt   the distinct rules, and where each starts

cmake_minimum_required(VERSION 3.18)

if(NOT ZONEINFO OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DZONEINFO=DIR -DOUTPUT=FILE -P zone_table.cmake")
endif()
if(NOT EXISTS "${ZONEINFO}/Europe/Berlin")
  message(FATAL_ERROR "No zone files at ${ZONEINFO}: install Debian's tzdata package "
    "(apt-get install tzdata); the zone table is made from it")
endif()

# The rule at the end of a zone file, read from the file's last bytes; empty
# when the file is no zone file or carries none.
function(zone_rule file result)
  set(${result} "" PARENT_SCOPE)
  file(SIZE "${file}" size)
  if(size LESS 44)
    return()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "545a6966")  # "TZif"
    return()
  endif()
  set(window 96)
  if(size LESS window)
    set(window ${size})
  endif()
  math(EXPR from "${size} - ${window}")
  file(READ "${file}" tail OFFSET ${from} HEX)
  string(REGEX MATCHALL ".." bytes "${tail}")
  list(REVERSE bytes)
  list(GET bytes 0 last)
  if(NOT last STREQUAL "0a")
    return()
  endif()
  list(REMOVE_AT bytes 0)
  list(FIND bytes "0a" length)
  if(length LESS 1)
    return()
  endif()
  list(SUBLIST bytes 0 ${length} bytes)
  list(REVERSE bytes)
  set(rule "")
  foreach(byte IN LISTS bytes)
    math(EXPR code "0x${byte}")
    # Printable ASCII only, and nothing that a C++ string literal would need
    # escaped: a rule is letters, digits and ",.:/<>+-".
    if(code LESS 32 OR code GREATER 126 OR code EQUAL 34 OR code EQUAL 92)
      message(FATAL_ERROR "${file}: the zone rule holds byte 0x${byte}")
    endif()
    string(ASCII ${code} char)
    string(APPEND rule "${char}")
  endforeach()
  set(${result} "${rule}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${ZONEINFO}" "${ZONEINFO}/*")
list(FILTER files EXCLUDE REGEX "^(posix|right)/|^(localtime|posixrules)$")
list(SORT files)

set(rules "")
set(names_text "")
set(name_at "")
set(rule_of "")
set(at 0)
set(count 0)
foreach(name IN LISTS files)
  zone_rule("${ZONEINFO}/${name}" rule)
  if(rule STREQUAL "")
    continue()
  endif()
  list(FIND rules "${rule}" index)
  if(index LESS 0)
    list(LENGTH rules index)
    list(APPEND rules "${rule}")
  endif()
  string(APPEND names_text "    \"${name}\"\n")
  list(APPEND name_at ${at})
  list(APPEND rule_of ${index})
  string(LENGTH "${name}" length)
  math(EXPR at "${at} + ${length}")
  math(EXPR count "${count} + 1")
endforeach()
list(APPEND name_at ${at})
list(LENGTH rules rule_count)
if(count EQUAL 0)
  message(FATAL_ERROR "No zone file with a rule under ${ZONEINFO}")
endif()
if(rule_count GREATER 255 OR at GREATER 65535)
  message(FATAL_ERROR "The zone table outgrows its 8-bit rule and 16-bit name indexes")
endif()

set(rules_text "")
set(rule_at "")
set(at 0)
foreach(rule IN LISTS rules)
  string(APPEND rules_text "    \"${rule}\"\n")
  list(APPEND rule_at ${at})
  string(LENGTH "${rule}" length)
  math(EXPR at "${at} + ${length}")
endforeach()
list(APPEND rule_at ${at})

list(JOIN name_at ", " name_at)
list(JOIN rule_of ", " rule_of)
list(JOIN rule_at ", " rule_at)
file(WRITE "${OUTPUT}.new" "\
// Made by cmake/zone_table.cmake from ${ZONEINFO}: ${count} zone names, ${rule_count} rules.
constexpr char kZoneNames[] =
${names_text};
constexpr uint16_t kZoneNameAt[] = {${name_at}};
constexpr uint8_t kZoneRuleOf[] = {${rule_of}};
constexpr char kZoneRules[] =
${rules_text};
constexpr uint16_t kZoneRuleAt[] = {${rule_at}};
")
# Unchanged tables leave the file as it is, so nothing rebuilds.
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.new")
