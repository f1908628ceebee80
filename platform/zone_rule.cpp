// The check of a POSIX time zone rule, such as "CET-1CEST,M3.5.0,M10.5.0/3":
//
//   std offset [dst [offset] ,start[/time],end[/time]]
//
// A rule passes only when every C library reads it the same way: C libraries
// differ on what they make of the rest (a daylight-saving name without dates,
// a doubled sign, an hour beyond 24), and this program then works in UTC
// rather than in a zone that depends on the build.
#include "platform/time_zone.h"

#include <cstdint>
#include <string_view>

namespace {

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads a zone's abbreviation: three or more letters ("CET"), or three or
// more letters, digits and signs in angle brackets ("<+03>").
bool readName(std::string_view& text) {
  size_t length = 0;
  if (!text.empty() && text.front() == '<') {
    const size_t close = text.find('>');
    if (close == std::string_view::npos) return false;
    for (size_t at = 1; at < close; ++at) {
      const char c = text[at];
      if (!isLetter(c) && !isDigit(c) && c != '+' && c != '-') return false;
    }
    if (close - 1 < 3) return false;
    length = close + 1;
  } else {
    while (length < text.size() && isLetter(text[length])) ++length;
    if (length < 3) return false;
  }
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
// up to 59: a zone's offset (24 hours) or the time of day of a change
// (167 hours, as the time zone database writes some).
bool readTime(std::string_view& text, int32_t maxHours) {
  if (!readChar(text, '+')) readChar(text, '-');
  int32_t hours, part;
  if (!readNumber(text, maxHours > 99 ? 3 : 2, hours) || hours > maxHours) return false;
  for (int fields = 0; fields < 2 && readChar(text, ':'); ++fields) {
    if (!readNumber(text, 2, part) || part > 59) return false;
  }
  return true;
}

// Reads one date of change: Jn (1-365, 29 February never counted), n (0-365)
// or Mm.w.d (month 1-12, week 1-5 where 5 is the last, weekday 0-6 from
// Sunday); then, after '/', its time of day.
bool readDate(std::string_view& text) {
  int32_t value;
  if (readChar(text, 'J')) {
    if (!readNumber(text, 3, value) || value < 1 || value > 365) return false;
  } else if (readChar(text, 'M')) {
    if (!readNumber(text, 2, value) || value < 1 || value > 12) return false;
    if (!readChar(text, '.') || !readNumber(text, 1, value) || value < 1 || value > 5) {
      return false;
    }
    if (!readChar(text, '.') || !readNumber(text, 1, value) || value > 6) return false;
  } else if (!readNumber(text, 3, value) || value > 365) {
    return false;
  }
  return !readChar(text, '/') || readTime(text, 167);
}

}  // namespace

bool isZoneRule(std::string_view rule) {
  if (!readName(rule) || !readTime(rule, 24)) return false;
  if (rule.empty()) return true;
  if (!readName(rule)) return false;
  if (!rule.empty() && rule.front() != ',' && !readTime(rule, 24)) return false;
  // Daylight saving needs its dates: without them C libraries guess apart.
  return readChar(rule, ',') && readDate(rule) && readChar(rule, ',') && readDate(rule) &&
         rule.empty();
}
