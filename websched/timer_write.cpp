// Creating and updating one timer: the form's local date and time become the
// firmware's row, with the first start of a repeating timer moved onto a day
// its pattern allows and the margins folded into the recording window.
#include <sqlite3.h>

#include <cstdint>
#include <ctime>

#include "websched/store_statements.h"
#include "websched/websched.h"

using timer_store::bindIntOrExit;
using timer_store::checkOrExit;
using timer_store::prepareOrExit;
using timer_store::stepOrExit;
using timer_store::wrap32;

namespace {

constexpr int32_t kSecondsPerDay = 86400;
// A repeating timer whose first start is less than this far ahead is moved on
// by a day: the firmware would otherwise miss it.
constexpr int32_t kBookingLeadSeconds = 240;

const char* const kCreateSql =
    "insert into timer_record_table (datestamp, date, date_year, date_month, date_day, "
    "start_hour, start_minute, length_hour, length_minute,source, channel, quality, target, SAP, "
    "timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id, user_id, "
    "user_string) values (0, :repeat, :year, :month, :day, :hh, :mm, :hours, :mins,:source, "
    ":channel, :quality, :target, 0, :ts_start, :ts_offset, :disabled, 0, 0, -1, 0, :title)";
const char* const kUpdateSql =
    "update timer_record_table set date = :repeat, date_year = :year, date_month = :month, "
    "date_day = :day, start_hour = :hh, start_minute = :mm, length_hour = :hours, "
    "length_minute = :mins,source = :source, channel = :channel, timestamp_start = :ts_start, "
    "timestamp_offset = :ts_offset, user_string = :title,quality = :quality, target = :target, "
    "enable = :disabled where ID = :id";

// Local broken-down time of a 32-bit time value.
void toLocal(int32_t seconds, std::tm& brokenDown) {
  std::time_t value = seconds;
  localtime_r(&value, &brokenDown);
}

// The weekday that a repeat pattern moves a start on weekday to, or -1 when
// the start already lies on a day the pattern allows.
int32_t targetWeekday(int32_t repeat, int32_t weekday) {
  constexpr int32_t kSunday = 0, kMonday = 1, kSaturday = 6;
  switch (repeat) {
    case 2:  // Mon-Fri
      return weekday == kSunday || weekday == kSaturday ? kMonday : -1;
    case 3:  // Mon-Sat
      return weekday == kSunday ? kMonday : -1;
    case 4:  // Every Weekend
      return weekday >= 1 && weekday <= 5 ? kSaturday : -1;
    default:  // 5 "Sun" ... 11 "Sat"; larger codes lie beyond Saturday
      return repeat >= 5 ? repeat - 5 : -1;
  }
}

// One value bound by name.
struct NamedValue {
  const char* name;
  int32_t value;
};

}  // namespace

// The low 16 bits, sign-extended.
int32_t channelNumber(std::string_view text) {
  uint32_t low = static_cast<uint32_t>(quibAtoi(text)) & 0xFFFFu;
  return low >= 0x8000u ? static_cast<int32_t>(low) - 0x10000 : static_cast<int32_t>(low);
}

std::tm enteredStartFields(const TimerValues& values) {
  std::tm start{};
  start.tm_sec = 0;
  start.tm_min = quibAtoi(values.mm);
  start.tm_hour = quibAtoi(values.hh);
  start.tm_mday = quibAtoi(values.day);
  start.tm_mon = wrap32(int64_t{quibAtoi(values.month)} - 1);
  start.tm_year = wrap32(int64_t{quibAtoi(values.year)} - 1900);
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
  const int32_t repeat = quibAtoi(values.repeat);
  if (repeat > 1) seconds = movedStart(seconds, repeat, start);
  return seconds;
}

// Writes one timer with sql (the create or the update statement), every value
// bound by name. id 0 leaves ":id" unbound. Returns the result of finalising.
int execBoundSQL(const char* sql, int32_t id, const TimerValues& values) {
  int32_t hours = quibAtoi(values.hours);
  int32_t mins = quibAtoi(values.mins);
  int32_t channel = channelNumber(values.channel);
  int32_t repeat = quibAtoi(values.repeat);
  int32_t sourceBase = sourceMarker();

  // The form's fields read as local time and normalised in place (minute 75,
  // hour 24, 31 April), the same reading the list makes of the stored columns.
  std::tm start{};
  int32_t startSeconds = wrap32(bookedStart(values, start));

  bool tuner = channel > 0;
  int64_t tsStart = int64_t{startSeconds} - values.prepad;
  int64_t tsOffset =
      int64_t{values.prepad} + values.postpad + int64_t{hours} * 3600 + int64_t{mins} * 60;

  SqliteStatement statement = prepareOrExit(sql, FailureSite::kTimerWritePrepare);
  if (id != 0) bindIntOrExit(statement, ":id", id, FailureSite::kTimerWriteBindId);
  const NamedValue before[] = {
      {":repeat", repeat},
      {":year", wrap32(int64_t{start.tm_year} + 1900)},
      {":month", wrap32(int64_t{start.tm_mon} + 1)},
      {":day", start.tm_mday},
      {":hh", start.tm_hour},
      {":mm", start.tm_min},
      {":hours", hours},
      {":mins", mins},
      {":source", sourceBase + (tuner ? 10 : 1)},
      {":channel", tuner ? channel : 1},
      {":ts_start", wrap32(tsStart)},
      {":ts_offset", wrap32(tsOffset)},
  };
  for (const NamedValue& bound : before) {
    bindIntOrExit(statement, bound.name, bound.value, FailureSite::kTimerWriteBindValue);
  }
  // The title stays valid until the statement has run, so it is not copied.
  int titleIndex = sqlite3_bind_parameter_index(statement.get(), ":title");
  checkOrExit(statement,
              sqlite3_bind_text(statement.get(), titleIndex, values.title.data(),
                                static_cast<int>(values.title.size()), SQLITE_STATIC),
              FailureSite::kTimerWriteBindTitle);
  const NamedValue after[] = {
      {":quality", quibAtoi(values.quality)},
      {":target", quibAtoi(values.target)},
      {":disabled", quibAtoi(values.disabled)},
  };
  for (const NamedValue& bound : after) {
    bindIntOrExit(statement, bound.name, bound.value, FailureSite::kTimerWriteBindValue);
  }
  stepOrExit(statement, FailureSite::kTimerWriteStep);
  return sqlite3_finalize(statement.release());
}

int createTimer(const TimerValues& values) {
  execBoundSQL(kCreateSql, 0, values);
  return 0;
}

int updateTimer(int32_t id, const TimerValues& values) {
  execBoundSQL(kUpdateSql, id, values);
  return 0;
}
