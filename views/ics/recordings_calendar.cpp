// The calendar feed as iCalendar text: the zone's VTIMEZONE made from its
// POSIX rule, one VEVENT per enabled timer, and the text rules of RFC 5545
// (escaping, folding, CRLF line ends).
#include "views/ics/recordings_calendar.h"

#include <charconv>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/repeat.h"
#include "model/row_times.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "platform/time_arith.h"
#include "platform/time_zone.h"
#include "texts/catalogue.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The longest line before it is folded, in octets, line end not counted.
constexpr size_t kLineOctets = 75;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kProductId = "-//skedra//Recording timers//EN";
constexpr std::string_view kDefaultZoneId = "skedra";
// The weekdays from Sunday as RRULE names them.
constexpr std::string_view kDayCodes[7] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
// Days of each month in a year without 29 February.
constexpr int32_t kShortestMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Appends one content line, folded before it passes 75 octets (a fold is a
// line end and a space) and never inside a UTF-8 sequence.
void appendLine(std::string& out, std::string_view line) {
  size_t limit = kLineOctets;
  while (line.size() > limit) {
    size_t cut = limit;
    while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line.substr(0, cut));
    out.append(kLineEnd);
    out += ' ';
    line.remove_prefix(cut);
    limit = kLineOctets - 1;  // the space takes one
  }
  out.append(line);
  out.append(kLineEnd);
}

// The length of the well-formed UTF-8 sequence that text starts with (no
// overlong forms, no surrogates, nothing beyond U+10FFFF); 0 when none does.
size_t sequenceLength(std::string_view text) {
  const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t at = 1; at < length; ++at) {
    if ((byte(at) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at) & 0x3Fu);
  }
  if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return 0;
  if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
  return length;
}

// Appends text as a TEXT value: backslash, semicolon and comma escaped, a
// line break as "\n", other control characters as spaces, and each byte
// that does not belong to well-formed UTF-8 as U+FFFD.
void appendText(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const size_t length = sequenceLength(text);
    if (length == 0) {
      out.append(kReplacement);
      text.remove_prefix(1);
      continue;
    }
    const char c = text.front();
    if (length > 1) {
      out.append(text.substr(0, length));
    } else if (c == '\\' || c == ';' || c == ',') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      // "\r\n" is one line break; a lone CR none.
    } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
      out += ' ';
    } else {
      out += c;
    }
    text.remove_prefix(length);
  }
}

// Appends value in decimal with at least width digits.
void appendNumber(std::string& out, int64_t value, int width) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value);
  if (value < 0) out += '-';
  for (int pad = width - static_cast<int>(result.ptr - digits); pad > 0; --pad) out += '0';
  out.append(digits, result.ptr);
}

// Days from 1970-01-01 to the first of the month (1-12) of the year.
int64_t daysOfMonthStart(int64_t year, int32_t month) {
  std::tm fields{};
  fields.tm_year = static_cast<int>(year - 1900);
  fields.tm_mon = month - 1;
  fields.tm_mday = 1;
  return floorDiv(wallClockSeconds(fields), kSecondsPerDay);
}

// The weekday (0 = Sunday) of a day counted from 1970-01-01.
int weekdayOfDay(int64_t days) {
  return utcFields(days * kSecondsPerDay).tm_wday;
}

// Appends a date and time, YYYYMMDDTHHMMSS, from seconds counted as UTC
// counts them from 1970 (a wall-clock time or an instant).
void appendStamp(std::string& out, int64_t seconds) {
  const std::tm fields = utcFields(seconds);
  appendNumber(out, int64_t{fields.tm_year} + 1900, 4);
  appendNumber(out, fields.tm_mon + 1, 2);
  appendNumber(out, fields.tm_mday, 2);
  out += 'T';
  appendNumber(out, fields.tm_hour, 2);
  appendNumber(out, fields.tm_min, 2);
  appendNumber(out, fields.tm_sec, 2);
}

// Appends a UTC offset: +HHMM, or +HHMMSS when it has seconds.
void appendOffset(std::string& out, int32_t seconds) {
  out += seconds < 0 ? '-' : '+';
  const int32_t size = seconds < 0 ? -seconds : seconds;
  appendNumber(out, size / 3600, 2);
  appendNumber(out, size / 60 % 60, 2);
  if (size % 60 != 0) appendNumber(out, size % 60, 2);
}

// A yearly change of the zone as a VTIMEZONE observance says it.
struct YearlyChange {
  std::string start;  // DTSTART: the change's first date in 1970, local time before it
  std::string rule;   // RRULE
};

// The change as a yearly rule; none for a date of change that no plain rule
// says: Jn and n, or Mm.w.d with a time that moves it into another month in
// some year. A time beyond a day or below zero moves the day of the change:
// a weekday in a run of seven days of the month.
std::optional<YearlyChange> yearlyChange(const ZoneChange& change) {
  if (change.kind != ZoneChange::kMonthWeekDay) return std::nullopt;
  const int64_t shift = floorDiv(change.time, kSecondsPerDay);
  const int64_t timeOfDay = change.time - shift * kSecondsPerDay;
  const int weekday = static_cast<int>(((change.weekday + shift) % 7 + 7) % 7);
  YearlyChange yearly;
  yearly.rule = "FREQ=YEARLY;BYMONTH=";
  appendNumber(yearly.rule, change.month, 1);
  yearly.rule += ";BYDAY=";
  const bool last = change.week == 5;
  if (shift == 0) {
    appendNumber(yearly.rule, last ? -1 : change.week, 1);
    yearly.rule.append(kDayCodes[weekday]);
  } else {
    // The days of the month it may fall on, counted back from the month's
    // end for the last week.
    const int64_t first = (last ? -7 : 7 * (change.week - 1) + 1) + shift;
    const int64_t lastDay = (last ? -1 : 7 * change.week) + shift;
    const int32_t days = kShortestMonth[change.month - 1];
    if (last ? (lastDay > -1 || first < -days) : (first < 1 || lastDay > days)) {
      return std::nullopt;
    }
    yearly.rule.append(kDayCodes[weekday]);
    yearly.rule += ";BYMONTHDAY=";
    for (int64_t day = first; day <= lastDay; ++day) {
      if (day != first) yearly.rule += ',';
      appendNumber(yearly.rule, day, 1);
    }
  }
  // The first date of change in 1970.
  int64_t day = 0;
  if (last) {
    const int64_t monthEnd = daysOfMonthStart(1970, change.month + 1) - 1;
    day = monthEnd - (weekdayOfDay(monthEnd) - change.weekday + 7) % 7;
  } else {
    const int64_t monthStart = daysOfMonthStart(1970, change.month);
    day = monthStart + (change.weekday - weekdayOfDay(monthStart) + 7) % 7 + 7 * (change.week - 1);
  }
  appendStamp(yearly.start, (day + shift) * kSecondsPerDay + timeOfDay);
  return yearly;
}

// How the calendar writes its times: with the zone's TZID, or in UTC.
struct CalendarZone {
  bool utc = true;
  std::string id;         // the TZID parameter's value, quoted when it must be
  std::string component;  // the VTIMEZONE's lines
};

void appendObservance(std::string& out, std::string_view kind, int32_t from, int32_t to,
                      std::string_view name, std::string_view start, std::string_view rule) {
  appendLine(out, "BEGIN:" + std::string(kind));
  std::string line = "TZOFFSETFROM:";
  appendOffset(line, from);
  appendLine(out, line);
  line = "TZOFFSETTO:";
  appendOffset(line, to);
  appendLine(out, line);
  line = "TZNAME:";
  appendText(line, name);
  appendLine(out, line);
  appendLine(out, "DTSTART:" + std::string(start));
  if (!rule.empty()) appendLine(out, "RRULE:" + std::string(rule));
  appendLine(out, "END:" + std::string(kind));
}

CalendarZone calendarZone(const CalendarFeed& feed) {
  CalendarZone zone;
  const std::optional<ZoneRuleParts> parts = parseZoneRule(feed.zoneRule);
  if (!parts) return zone;
  std::optional<YearlyChange> toDaylight, toStandard;
  if (parts->daylight) {
    toDaylight = yearlyChange(parts->toDaylight);
    toStandard = yearlyChange(parts->toStandard);
    if (!toDaylight || !toStandard) return zone;
  }
  zone.utc = false;
  const std::string_view name = feed.zoneName.empty() ? kDefaultZoneId : feed.zoneName;
  if (name.find_first_of(":;,") != std::string_view::npos) {
    zone.id = "\"" + std::string(name) + "\"";
  } else {
    zone.id = std::string(name);
  }
  std::string& out = zone.component;
  appendLine(out, "BEGIN:VTIMEZONE");
  std::string line = "TZID:";
  appendText(line, name);
  appendLine(out, line);
  if (parts->daylight) {
    appendObservance(out, "DAYLIGHT", parts->standardOffset, parts->daylightOffset,
                     parts->daylightName, toDaylight->start, toDaylight->rule);
    appendObservance(out, "STANDARD", parts->daylightOffset, parts->standardOffset,
                     parts->standardName, toStandard->start, toStandard->rule);
  } else {
    std::string start;
    appendStamp(start, 0);
    appendObservance(out, "STANDARD", parts->standardOffset, parts->standardOffset,
                     parts->standardName, start, "");
  }
  appendLine(out, "END:VTIMEZONE");
  return zone;
}

// The local wall-clock time of an instant, in seconds counted as UTC counts.
int64_t wallClockOf(int64_t instant) {
  return wallClockSeconds(localFields(instant, ZoneOffsets{}));
}

// "20:15": the local time of day of an instant.
std::string timeOfDay(int64_t instant) {
  const std::tm local = localFields(instant, ZoneOffsets{});
  std::string text;
  appendNumber(text, local.tm_hour, 2);
  text += ':';
  appendNumber(text, local.tm_min, 2);
  return text;
}

// A date and time property in the calendar's zone: "DTSTART;TZID=x:..." or,
// in UTC, "DTSTART:...Z".
std::string timeProperty(std::string_view name, int64_t instant, const CalendarZone& zone) {
  std::string line(name);
  if (zone.utc) {
    line += ':';
    appendStamp(line, instant);
    line += 'Z';
  } else {
    line += ";TZID=";
    line += zone.id;
    line += ':';
    appendStamp(line, wallClockOf(instant));
  }
  return line;
}

// The RRULE of a pattern of days whose first window starts on day
// windowDay and whose programme starts on day programmeDay (days counted
// in the calendar's clock): the allowed weekdays move with the margin's or
// the clock's day.
std::string repeatRule(int32_t repeat, int64_t windowDay, int64_t programmeDay) {
  if (repeat == kFirstPattern) return "FREQ=DAILY";
  const int64_t shift = windowDay - programmeDay;
  bool days[7] = {};
  for (int weekday = 0; weekday < 7; ++weekday) {
    if (patternAllows(repeat, weekday)) days[((weekday + shift) % 7 + 7) % 7] = true;
  }
  std::string rule = "FREQ=WEEKLY;BYDAY=";
  bool first = true;
  for (int at = 1; at <= 7; ++at) {  // from Monday
    if (!days[at % 7]) continue;
    if (!first) rule += ',';
    rule.append(kDayCodes[at % 7]);
    first = false;
  }
  return rule;
}

void appendEvent(std::string& out, const ScheduleRow& row, const CalendarFeed& feed,
                 const CalendarZone& zone, std::string_view stamp) {
  if (row.enable != 0 || row.timestampOffset <= 0) return;
  std::tm fields{};
  fields.tm_year = wrap32(int64_t{row.year} - 1900);
  fields.tm_mon = wrap32(int64_t{row.month} - 1);
  fields.tm_mday = row.day;
  fields.tm_hour = row.hh;
  fields.tm_min = row.mm;
  const std::tm entered = fields;
  const RowStart rowStart = readStart(row);
  fields = rowStart.local;
  const int64_t start = rowStart.instant;
  const RowTimes margins = deriveTimes(row, rowStart);
  const int64_t beforeSeconds = start - margins.windowStart;
  // A pattern records from its first allowed day on.
  int64_t first = start;
  const bool repeats = hasPattern(row.date);
  if (repeats && !patternAllows(row.date, fields.tm_wday)) {
    const int32_t target = targetWeekday(row.date, fields.tm_wday);
    if (target >= 0) {
      std::tm moved = entered;
      first = localTimeInstant(moved, (target - fields.tm_wday + 7) % 7);
    }
  }
  const int64_t windowStart = first - beforeSeconds;
  const int64_t windowEnd = windowStart + row.timestampOffset;
  const int64_t length = int64_t{row.hours} * 3600 + int64_t{row.mins} * 60;

  appendLine(out, "BEGIN:VEVENT");
  std::string line = "UID:timer-";
  appendNumber(line, row.id, 1);
  line += '@';
  appendText(line, feed.host);
  appendLine(out, line);
  appendLine(out, "DTSTAMP:" + std::string(stamp));
  appendLine(out, timeProperty("DTSTART", windowStart, zone));
  appendLine(out, timeProperty("DTEND", windowEnd, zone));
  if (repeats) {
    const auto dayOf = [&zone](int64_t instant) {
      return floorDiv(zone.utc ? instant : wallClockOf(instant), kSecondsPerDay);
    };
    appendLine(out, "RRULE:" + repeatRule(row.date, dayOf(windowStart), dayOf(first)));
  }
  line = "SUMMARY:";
  appendText(line, row.title);
  appendLine(out, line);
  if (feed.channelName) {
    line = "LOCATION:";
    appendText(line, feed.channelName(row.source == kSourceAV ? int16_t{-1} : row.channel));
    appendLine(out, line);
  }
  std::string before, after;
  appendNumber(before, margins.prepad, 1);
  appendNumber(after, margins.postpad, 1);
  line = "DESCRIPTION:";
  appendText(line, textWith(Text::kCalendarDescription,
                            {timeOfDay(first), timeOfDay(first + length), timeOfDay(windowStart),
                             timeOfDay(windowEnd), before, after}));
  appendLine(out, line);
  appendLine(out, "END:VEVENT");
}

}  // namespace

std::string recordingsCalendar(const std::vector<ScheduleRow>& rows, const CalendarFeed& feed) {
  const CalendarZone zone = calendarZone(feed);
  std::string stamp;
  appendStamp(stamp, feed.now);
  stamp += 'Z';
  std::string out;
  appendLine(out, "BEGIN:VCALENDAR");
  appendLine(out, "VERSION:2.0");
  appendLine(out, "PRODID:" + std::string(kProductId));
  appendLine(out, "CALSCALE:GREGORIAN");
  appendLine(out, "METHOD:PUBLISH");
  std::string line = "X-WR-CALNAME:";
  appendText(line, textOf(Text::kCalendarName));
  appendLine(out, line);
  out += zone.component;
  for (const ScheduleRow& row : rows) appendEvent(out, row, feed, zone, stamp);
  appendLine(out, "END:VCALENDAR");
  return out;
}
