// Writes the calendar feed of a fixed set of timers to stdout, in the zone
// "CET-1CEST,M3.5.0,M10.5.0/3", for parse.mjs to read with another parser.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/timer.h"
#include "platform/time_zone.h"
#include "support/schedule_row.h"
#include "views/ics/recordings_calendar.h"

namespace {

// Rows of March 2027.
ScheduleRow row(int32_t id, int32_t repeat, int32_t day, int32_t hh, int32_t mm, int32_t minutes,
                int32_t before, int32_t after) {
  return scheduleRow(id, repeat, 2027, 3, day, hh, mm, minutes, before, after);
}

}  // namespace

int main() {
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  useRecorderTimeZone("/nonexistent");
  std::vector<ScheduleRow> rows = {
      row(1, 0, 22, 20, 15, 90, 5, 10),  // once, Monday 22 March
      row(2, 1, 25, 6, 0, 30, 0, 0),     // every day from Thursday, across the change on the 28th
      row(3, 2, 20, 20, 15, 60, 5, 10),  // Mon-Fri entered on a Saturday: from Monday on
      row(4, 5, 21, 0, 5, 30, 10, 0),    // Sundays at 00:05, the margin on Saturday
      row(5, 0, 23, 12, 0, 60, 0, 0),    // disabled: not in the calendar
  };
  rows.back().enable = 1;
  CalendarFeed feed;
  feed.zoneRule = recorderZone().rule;
  feed.host = "recorder.test";
  feed.now = 1805540400;  // 2027-03-20 12:00 CET
  feed.channelName = [](int16_t channel) { return "Channel " + std::to_string(channel); };
  const std::string calendar = recordingsCalendar(rows, feed);
  std::fwrite(calendar.data(), 1, calendar.size(), stdout);
  return 0;
}
