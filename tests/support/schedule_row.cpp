#include "support/schedule_row.h"

#include <ctime>
#include <string>

#include "platform/local_time.h"

ScheduleRow scheduleRow(int32_t id, int32_t repeat, int32_t year, int32_t month, int32_t day,
                        int32_t hh, int32_t mm, int32_t minutes, int32_t before, int32_t after) {
  ScheduleRow row;
  row.id = id, row.date = repeat, row.channel = 1;
  row.year = year, row.month = month, row.day = day, row.hh = hh, row.mm = mm;
  row.hours = minutes / 60, row.mins = minutes % 60;
  std::tm start{};
  start.tm_year = year - 1900, start.tm_mon = month - 1, start.tm_mday = day;
  start.tm_hour = hh, start.tm_min = mm;
  row.timestampStart = localTimeInstant(start) - before * 60;
  row.timestampOffset = (minutes + before + after) * 60;
  row.title = "Timer " + std::to_string(id);
  return row;
}
