// Local wall-clock time of the recorder's zone, read and written in whole seconds.
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

// Reads the date and time fields (year, month, day, hour, minute, second;
// out-of-range values carry over) as local time of the recorder's zone,
// addDays whole days later, and returns the time value, wrapped to 32 bits.
// The fields are rewritten with the local date and time of that value, so a
// caller can see how the reading moved them (a time that the spring change
// skips moves forward by the change). A time that the autumn change repeats
// is read as the later of the two.
int32_t localTimeSeconds(std::tm& fields, int64_t addDays = 0);
// The same reading, unwrapped: the instant in 64 bits. Past the 32-bit range
// the zone's rule is read as in the same days 28 years earlier, so that
// every build gives the same answer.
int64_t localTimeInstant(std::tm& fields, int64_t addDays = 0);

// The zone's offsets from UTC over the span [from, to) of instants, read
// from the C library once, so that local times near now are read without it.
struct ZoneOffsets {
  struct Change {
    int64_t at;      // from this instant on
    int64_t offset;  // seconds east of UTC
  };
  int64_t from = 0;
  int64_t to = 0;
  std::vector<Change> changes;  // in time order, the first at from
};
ZoneOffsets zoneOffsets(int64_t from, int64_t to);
// Seconds east of UTC at the instant: from the span's changes inside it,
// from the C library outside it.
int64_t utcOffset(const ZoneOffsets& zone, int64_t instant);
// The date and time fields read as a UTC date and time (out-of-range values
// carry over): the local wall-clock time they stand for, in seconds.
int64_t wallClockSeconds(const std::tm& fields);
// The date and time fields of seconds read as a UTC date and time (with the
// weekday and the day of the year; tm_isdst -1): the inverse of
// wallClockSeconds.
std::tm utcFields(int64_t seconds);
// The instant of a local wall-clock time, read as localTimeSeconds reads it
// (unwrapped); weekday, when given, gets the local weekday of that instant
// (0 = Sunday).
int64_t wallClockInstant(int64_t wall, const ZoneOffsets& zone, int* weekday = nullptr);
// The local date and time of an instant, as localtime_r gives them (with
// the weekday and the day of the year; tm_isdst -1).
std::tm localFields(int64_t instant, const ZoneOffsets& zone);
