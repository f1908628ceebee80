// A timer's stored row as the occurrence checks see it.
#include "model/timer.h"

#include "platform/time_arith.h"

TimerSchedule timingOf(const ScheduleRow& row) {
  TimerSchedule timer;
  timer.id = row.id;
  timer.repeat = row.date;
  timer.year = row.year;
  timer.month = row.month;
  timer.day = row.day;
  timer.hh = row.hh;
  timer.mm = row.mm;
  timer.timestampStart = static_cast<int32_t>(row.timestampStart);  // the low 32 bits
  timer.timestampOffset = row.timestampOffset;
  timer.active = row.enable == 0;
  timer.av = row.source == kSourceAV;
  return timer;
}

TimerSchedule scheduleOf(const ScheduleRow& row) {
  TimerSchedule timer = timingOf(row);
  timer.title = row.title;
  return timer;
}

RowMargins rowMargins(const ScheduleRow& row, int32_t startSeconds) {
  RowMargins margins;
  const int64_t length = int64_t{row.hours} * 3600 + int64_t{row.mins} * 60;
  // The margin in 32 bits: the same whether timestamp_start was stored
  // wrapped or in full.
  margins.beforeSeconds = wrap32(int64_t{startSeconds} - static_cast<int32_t>(row.timestampStart));
  margins.before = margins.beforeSeconds / 60;
  margins.after = wrap32(wrap32(row.timestampOffset - length) / 60 - int64_t{margins.before});
  return margins;
}
