// When a write books a timer: the form's local date and time read as the
// recorder's local time, and the first start of a repeating timer moved onto
// a day its pattern allows.
#include "model/booking.h"

#include <cstdint>
#include <ctime>

#include "model/repeat.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "platform/time_arith.h"

namespace {

// A repeating timer whose first start is less than this far ahead is moved on
// by a day: the firmware would otherwise miss it.
constexpr int32_t kBookingLeadSeconds = 240;

// Local broken-down time of a 32-bit time value.
void toLocal(int32_t seconds, std::tm& brokenDown) {
  std::time_t value = seconds;
  localtime_r(&value, &brokenDown);
}

}  // namespace

// The low 16 bits, sign-extended.
int32_t channelNumber(int32_t channel) {
  uint32_t low = static_cast<uint32_t>(channel) & 0xFFFFu;
  return low >= 0x8000u ? static_cast<int32_t>(low) - 0x10000 : static_cast<int32_t>(low);
}

std::tm enteredStartFields(const TimerValues& values) {
  std::tm start{};
  start.tm_sec = 0;
  start.tm_min = values.mm;
  start.tm_hour = values.hh;
  start.tm_mday = values.day;
  start.tm_mon = wrap32(int64_t{values.month} - 1);
  start.tm_year = wrap32(int64_t{values.year} - 1900);
  return start;
}

namespace {

// Whole days forward from weekday to the first targetWeekday on or after it
// (a target beyond Saturday lies target - weekday days ahead).
int64_t daysToWeekday(int32_t weekday, int32_t targetWeekday) {
  int64_t d = int64_t{weekday} - targetWeekday;
  return d <= 0 ? -d : 7 - d;
}

}  // namespace

int32_t adjustSeconds(int32_t weekday, int32_t targetWeekday) {
  return wrap32(-daysToWeekday(weekday, targetWeekday) * kSecondsPerDay);
}

namespace {

// A start less than the booking lead ahead of now is pushed by one day (once,
// however far in the past it lies); then the start moves forward to the first
// day its pattern allows. Both moves add whole days to the local date and read
// the result again, so the start keeps its local time of day across a
// daylight-saving change. fields hold the local fields of start and get those
// of the result; the moves are made in 64 bits.
int64_t movedStart(int64_t start, int32_t repeat, std::tm& fields) {
  int64_t now = std::time(nullptr);
  if (start < now + kBookingLeadSeconds) start = localTimeInstant(fields, 1);
  int32_t target = targetWeekday(repeat, fields.tm_wday);
  if (target >= 0) start = localTimeInstant(fields, daysToWeekday(fields.tm_wday, target));
  return start;
}

}  // namespace

int32_t adjustBookTime(int32_t start, int32_t repeat, std::tm& brokenDown) {
  toLocal(start, brokenDown);
  return wrap32(movedStart(start, repeat, brokenDown));
}

int64_t bookedStart(const TimerValues& values, std::tm& start) {
  start = enteredStartFields(values);
  int64_t seconds = localTimeInstant(start);
  if (values.repeat > 1) seconds = movedStart(seconds, values.repeat, start);
  return seconds;
}
