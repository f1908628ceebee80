// Creating and updating one timer: the form's timer, booked as the model
// books it, becomes the firmware's row with the margins folded into the
// recording window.
#include "store/timer_write.h"

#include <sqlite3.h>

#include <cstdint>
#include <ctime>

#include "model/booking.h"
#include "model/timer.h"
#include "platform/time_arith.h"
#include "store/padding_defaults.h"
#include "store/store_statements.h"

using timer_store::bindIntOrExit;
using timer_store::checkOrExit;
using timer_store::prepareOrExit;
using timer_store::stepOrExit;

namespace {

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

// One value bound by name.
struct NamedValue {
  const char* name;
  int32_t value;
};

}  // namespace
// Writes one timer with sql (the create or the update statement), every value
// bound by name. id 0 leaves ":id" unbound. Returns the result of finalising.
int execBoundSQL(const char* sql, int32_t id, const TimerValues& values) {
  const int32_t hours = values.hours;
  const int32_t mins = values.mins;
  const int32_t channel = channelNumber(values.channel);
  const int32_t repeat = values.repeat;
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
      {":quality", values.quality},
      {":target", values.target},
      {":disabled", values.disabled},
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
