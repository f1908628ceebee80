// A timer's stored row as the occurrence checks see it.
#include "model/timer.h"

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
