// The reading of a POSIX time zone rule, such as "CET-1CEST,M3.5.0,M10.5.0/3":
//
//   std offset [dst [offset] ,start[/time],end[/time]]
//
// A rule is read only when every C library reads it the same way: C
// libraries differ on what they make of the rest (a daylight-saving name
// without dates, a doubled sign, an hour beyond 24), and this program then
// works in UTC rather than in a zone that depends on the build. The check
// (isZoneRule) and the parts (parseZoneRule) come from the one reading.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/time_zone.h"

namespace {

constexpr int32_t kSecondsPerHour = 3600;

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads a zone's abbreviation: three or more letters ("CET"), or three or
// more letters, digits and signs in angle brackets ("<+03>"); name gets it
// without the brackets.
bool readName(std::string_view& text, std::string& name) {
  if (!text.empty() && text.front() == '<') {
    const size_t close = text.find('>');
    if (close == std::string_view::npos) return false;
    for (size_t at = 1; at < close; ++at) {
      const char c = text[at];
      if (!isLetter(c) && !isDigit(c) && c != '+' && c != '-') return false;
    }
    if (close - 1 < 3) return false;
    name = std::string(text.substr(1, close - 1));
    text.remove_prefix(close + 1);
    return true;
  }
  size_t length = 0;
  while (length < text.size() && isLetter(text[length])) ++length;
  if (length < 3) return false;
  name = std::string(text.substr(0, length));
  text.remove_prefix(length);
  return true;
}

// Reads one to maxDigits decimal digits into value.
bool readNumber(std::string_view& text, size_t maxDigits, int32_t& value) {
  size_t length = 0;
  value = 0;
  while (length < text.size() && length < maxDigits && isDigit(text[length])) {
    value = value * 10 + (text[length] - '0');
    ++length;
  }
  text.remove_prefix(length);
  return length > 0;
}

bool readChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// Reads [+-]hh[:mm[:ss]] with hours up to maxHours and minutes and seconds
// up to 59 into seconds: a zone's offset (24 hours) or the time of day of a
// change (167 hours, as the time zone database writes some).
bool readTime(std::string_view& text, int32_t maxHours, int32_t& seconds) {
  const bool negative = readChar(text, '-');
  if (!negative) readChar(text, '+');
  int32_t hours, part;
  if (!readNumber(text, maxHours > 99 ? 3 : 2, hours) || hours > maxHours) return false;
  seconds = hours * kSecondsPerHour;
  int32_t unit = 60;
  for (int fields = 0; fields < 2 && readChar(text, ':'); ++fields) {
    if (!readNumber(text, 2, part) || part > 59) return false;
    seconds += part * unit;
    unit = 1;
  }
  if (negative) seconds = -seconds;
  return true;
}

// Reads one date of change: Jn (1-365, 29 February never counted), n (0-365)
// or Mm.w.d (month 1-12, week 1-5 where 5 is the last, weekday 0-6 from
// Sunday); then, after '/', its time of day.
bool readDate(std::string_view& text, ZoneChange& change) {
  if (readChar(text, 'J')) {
    change.kind = ZoneChange::kJulian;
    if (!readNumber(text, 3, change.day) || change.day < 1 || change.day > 365) return false;
  } else if (readChar(text, 'M')) {
    change.kind = ZoneChange::kMonthWeekDay;
    if (!readNumber(text, 2, change.month) || change.month < 1 || change.month > 12) return false;
    if (!readChar(text, '.') || !readNumber(text, 1, change.week) || change.week < 1 ||
        change.week > 5) {
      return false;
    }
    if (!readChar(text, '.') || !readNumber(text, 1, change.weekday) || change.weekday > 6) {
      return false;
    }
  } else {
    change.kind = ZoneChange::kDayOfYear;
    if (!readNumber(text, 3, change.day) || change.day > 365) return false;
  }
  change.time = 2 * kSecondsPerHour;
  return !readChar(text, '/') || readTime(text, 167, change.time);
}

}  // namespace

std::optional<ZoneRuleParts> parseZoneRule(std::string_view rule) {
  ZoneRuleParts parts;
  int32_t west = 0;
  if (!readName(rule, parts.standardName) || !readTime(rule, 24, west)) return std::nullopt;
  // The rule counts hours west of UTC; the parts count them east.
  parts.standardOffset = -west;
  if (rule.empty()) return parts;
  parts.daylight = true;
  if (!readName(rule, parts.daylightName)) return std::nullopt;
  parts.daylightOffset = parts.standardOffset + kSecondsPerHour;
  if (!rule.empty() && rule.front() != ',') {
    if (!readTime(rule, 24, west)) return std::nullopt;
    parts.daylightOffset = -west;
  }
  // Daylight saving needs its dates: without them C libraries guess apart.
  if (readChar(rule, ',') && readDate(rule, parts.toDaylight) && readChar(rule, ',') &&
      readDate(rule, parts.toStandard) && rule.empty()) {
    return parts;
  }
  return std::nullopt;
}

bool isZoneRule(std::string_view rule) {
  return parseZoneRule(rule).has_value();
}
