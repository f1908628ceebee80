// The recorder's time zone: where its rule comes from, whether it can be read, and the table of
// zone names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Settles the zone that local times are read in (this process's and SQLite's
// through the C library): TZ when it is set; else the first line of ruleFile
// when that file exists and the line is not empty; else the C library's own
// default (its zone file, UTC without one). A zone name found is replaced in
// TZ by its rule from the zone table, a rule is kept when isZoneRule reads
// it, and anything else becomes UTC ("UTC0"), which unreadableTimeZone then
// reports (time_zone.cpp).
void useRecorderTimeZone(const char* ruleFile);

// The zone that the last useRecorderTimeZone found and could not read (the
// text of TZ or of the rule file's line), while UTC is used in its place;
// none when the zone was read.
const std::optional<std::string>& unreadableTimeZone();

// True when rule is a POSIX time zone rule as every C library reads it alike:
// names of three or more letters or "<+03>", offsets [+-]hh[:mm[:ss]] up to
// 24 hours, and a daylight-saving name only with both dates (Jn, n or Mm.w.d,
// each with an optional /time).
bool isZoneRule(std::string_view rule);

// The table of zone names ("Europe/Berlin") and their rules, made at build
// time from the time zone database's zone files.
struct ZoneEntry {
  std::string_view name, rule;
};
// The rule of a zone name; none for a name that the table does not hold.
std::optional<std::string_view> zoneRuleOf(std::string_view name);
// The table's entries by index (0 to zoneCount() - 1), sorted by name.
size_t zoneCount();
ZoneEntry zoneEntry(size_t index);
