// The recorder's time zone: where its rule comes from, whether it can be read, and the table of
// zone names.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The zone that the last useRecorderTimeZone settled: the rule handed to the
// C library (empty when the C library's own default is used) and the zone's
// name when it was given by one ("Europe/Berlin"; else empty).
struct RecorderZone {
  std::string rule;
  std::string name;
};
const RecorderZone& recorderZone();

// True when rule is a POSIX time zone rule as every C library reads it alike:
// names of three or more letters or "<+03>", offsets [+-]hh[:mm[:ss]] up to
// 24 hours, and a daylight-saving name only with both dates (Jn, n or Mm.w.d,
// each with an optional /time).
bool isZoneRule(std::string_view rule);

// One date of change of a rule: Jn (day 1-365, 29 February never counted),
// n (day 0-365 from 1 January, 29 February counted) or Mm.w.d (weekday 0-6
// from Sunday of week 1-5 of month 1-12, week 5 the last), at time seconds
// after that day's local midnight in the time before the change (02:00 when
// the rule gives none; it may be negative or beyond a day).
struct ZoneChange {
  enum Kind { kJulian, kDayOfYear, kMonthWeekDay };
  Kind kind = kMonthWeekDay;
  int32_t day = 0;                           // kJulian, kDayOfYear
  int32_t month = 0, week = 0, weekday = 0;  // kMonthWeekDay
  int32_t time = 0;
};

// The parts of a rule that isZoneRule reads. Offsets are seconds east of
// UTC (the rule itself counts west); names are without their angle brackets.
struct ZoneRuleParts {
  std::string standardName;
  int32_t standardOffset = 0;
  bool daylight = false;  // the rule has daylight saving and the rest below
  std::string daylightName;
  int32_t daylightOffset = 0;  // one hour ahead of standard when the rule gives none
  ZoneChange toDaylight, toStandard;
};
// The parts of rule; none when isZoneRule refuses it.
std::optional<ZoneRuleParts> parseZoneRule(std::string_view rule);

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
