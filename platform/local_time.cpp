// Local date and time of the recorder's zone as time values: the one reading
// of a local time that the timer writes, the repeat moves and the list share,
// so that a timer's start columns always stand for the same instant.
#include "platform/local_time.h"

#include <cstdint>
#include <ctime>

#include "platform/time_arith.h"

namespace {

// The zone's offset is read every half day; no zone's rules change it twice
// within that.
constexpr int64_t kZoneSampleStep = kSecondsPerDay / 2;

// Days from 1970-01-01 to a date of the Gregorian calendar (month 1-12).
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = floorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
  int64_t year, month, day;  // month 1-12
};

CivilDate civilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = floorDiv(days, 146097);
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shifted = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// The fields read as a UTC date and time; fields out of range carry over
// (minute 75, 31 April, month 13).
int64_t wallSeconds(const std::tm& fields) {
  const int64_t month = fields.tm_mon;
  const int64_t year = int64_t{fields.tm_year} + 1900 + floorDiv(month, 12);
  const int64_t days =
      daysFromCivil(year, month - floorDiv(month, 12) * 12 + 1, 1) + int64_t{fields.tm_mday} - 1;
  return days * kSecondsPerDay + int64_t{fields.tm_hour} * 3600 + int64_t{fields.tm_min} * 60 +
         fields.tm_sec;
}

// 28 years of the Gregorian calendar between 1901 and 2099: the same
// weekdays on the same dates, so a zone's yearly rule falls on the same days.
constexpr int64_t kCalendarCycle = (28 * 365 + 7) * kSecondsPerDay;
constexpr int64_t kLast32BitSecond = INT32_MAX;

// Seconds east of UTC at the instant, as the C library's zone rule has it;
// 0 where the library cannot convert the instant. An instant past the 32-bit
// range is read 28 years (or a multiple) earlier, with the same rule on the
// same weekdays, so that a 32-bit time_t and a 64-bit one give one answer.
int64_t utcOffsetAt(int64_t instant) {
  if (instant > kLast32BitSecond) {
    instant -= ((instant - kLast32BitSecond) / kCalendarCycle + 1) * kCalendarCycle;
  }
  const std::time_t value = static_cast<std::time_t>(instant);
  std::tm local{};
  if (localtime_r(&value, &local) == nullptr) return 0;
  return wallSeconds(local) - static_cast<int64_t>(value);
}

// A reading of a local wall-clock time: the instant and the zone's offset
// at that instant.
struct Reading {
  int64_t instant;
  int64_t offset;
};

// The instant that a local wall-clock time stands for, with offsetAt giving
// the zone's offset at an instant. Take the zone's offsets a day before
// (before) and a day after (after) the wall time: when the wall time read
// with after holds (the zone has that offset at that instant), that is the
// answer, else the wall time read with before. So a time that the autumn
// change repeats is read as the later of the two, and one that the spring
// change skips moves forward by the change. The padding triggers compute
// this same rule in SQL (padding_defaults.cpp).
template <typename OffsetAt>
Reading readWall(int64_t wall, const OffsetAt& offsetAt) {
  const int64_t offsetBefore = offsetAt(wall - kSecondsPerDay);
  const int64_t offsetAfter = offsetAt(wall + kSecondsPerDay);
  const int64_t late = wall - offsetAfter;
  const int64_t lateOffset = offsetAt(late);
  if (lateOffset == offsetAfter) return {late, lateOffset};
  const int64_t early = wall - offsetBefore;
  return {early, offsetAt(early)};
}

// Fills the fields with the local date and time of the instant, which lies
// offset seconds east of UTC.
void setLocalFields(int64_t instant, int64_t offset, std::tm& fields) {
  const int64_t local = instant + offset;
  const int64_t days = floorDiv(local, kSecondsPerDay);
  const int64_t secondOfDay = local - days * kSecondsPerDay;
  const CivilDate date = civilFromDays(days);
  fields = std::tm{};
  fields.tm_year = wrap32(date.year - 1900);
  fields.tm_mon = static_cast<int>(date.month - 1);
  fields.tm_mday = static_cast<int>(date.day);
  fields.tm_hour = static_cast<int>(secondOfDay / 3600);
  fields.tm_min = static_cast<int>(secondOfDay % 3600 / 60);
  fields.tm_sec = static_cast<int>(secondOfDay % 60);
  fields.tm_wday = static_cast<int>(floorDiv(days + 4, 7) * -7 + days + 4);  // 1970-01-01: Thu
  fields.tm_yday = static_cast<int>(days - daysFromCivil(date.year, 1, 1));
  fields.tm_isdst = -1;
}

}  // namespace

ZoneOffsets zoneOffsets(int64_t from, int64_t to) {
  ZoneOffsets zone;
  zone.from = from;
  zone.to = to;
  int64_t at = from;
  int64_t offset = utcOffsetAt(at);
  zone.changes.push_back({at, offset});
  while (at < to) {
    const int64_t next = at + kZoneSampleStep < to ? at + kZoneSampleStep : to;
    const int64_t nextOffset = utcOffsetAt(next);
    if (nextOffset != offset) {
      // The one change in (at, next]: the first instant with the new offset.
      int64_t low = at, high = next;
      while (high - low > 1) {
        const int64_t middle = low + (high - low) / 2;
        if (utcOffsetAt(middle) == offset) {
          low = middle;
        } else {
          high = middle;
        }
      }
      zone.changes.push_back({high, nextOffset});
      offset = nextOffset;
    }
    at = next;
  }
  return zone;
}

int64_t utcOffset(const ZoneOffsets& zone, int64_t instant) {
  if (instant < zone.from || instant >= zone.to) return utcOffsetAt(instant);
  size_t change = zone.changes.size() - 1;
  while (zone.changes[change].at > instant) --change;
  return zone.changes[change].offset;
}

int64_t wallClockSeconds(const std::tm& fields) {
  return wallSeconds(fields);
}

std::tm utcFields(int64_t seconds) {
  std::tm fields;
  setLocalFields(seconds, 0, fields);
  return fields;
}

int64_t wallClockInstant(int64_t wall, const ZoneOffsets& zone, int* weekday) {
  const Reading reading =
      readWall(wall, [&zone](int64_t instant) { return utcOffset(zone, instant); });
  if (weekday != nullptr) {
    const int64_t days = floorDiv(reading.instant + reading.offset, kSecondsPerDay);
    *weekday = static_cast<int>(days + 4 - floorDiv(days + 4, 7) * 7);  // 1970-01-01: Thu
  }
  return reading.instant;
}

std::tm localFields(int64_t instant, const ZoneOffsets& zone) {
  std::tm fields;
  setLocalFields(instant, utcOffset(zone, instant), fields);
  return fields;
}

int64_t localTimeInstant(std::tm& fields, int64_t addDays) {
  const Reading reading = readWall(wallSeconds(fields) + addDays * kSecondsPerDay, utcOffsetAt);
  setLocalFields(reading.instant, reading.offset, fields);
  return reading.instant;
}

int32_t localTimeSeconds(std::tm& fields, int64_t addDays) {
  return wrap32(localTimeInstant(fields, addDays));
}
