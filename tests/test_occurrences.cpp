// When each timer records: its windows over the next 14 days, in the
// recorder's zone (Berlin, for both nights of its clock changes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "model/occurrences.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "support/test_env.h"
#include "views/html/timer_texts.h"

namespace {

class Occurrences : public ::testing::Test {
 protected:
  void SetUp() override { useTimeZone("Europe/Berlin"); }
  void TearDown() override { useTimeZone("UTC"); }
};

// A timer as the write stores it: start columns, timestamp_start with the
// pre-margin taken off, the margins in the length.
TimerSchedule timer(int32_t repeat, int year, int month, int day, int hour, int minute,
                    int32_t lengthMinutes, int32_t prepadMinutes = 0, int32_t postpadMinutes = 0) {
  TimerSchedule t;
  t.repeat = repeat;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hh = hour;
  t.mm = minute;
  t.timestampStart =
      static_cast<int32_t>(localSeconds(year, month, day, hour, minute) - prepadMinutes * 60);
  t.timestampOffset = (prepadMinutes + lengthMinutes + postpadMinutes) * 60;
  t.active = true;
  return t;
}

// "28/03 20:00 CEST-21:00": local start with its zone, local end.
std::string describe(const RecordingWindow& window) {
  char text[64];
  std::tm start{};
  std::tm end{};
  const std::time_t begin = window.start;
  const std::time_t finish = window.end;
  localtime_r(&begin, &start);
  localtime_r(&finish, &end);
  char from[32];
  char to[16];
  std::strftime(from, sizeof from, "%d/%m %H:%M %Z", &start);
  std::strftime(to, sizeof to, "%H:%M", &end);
  std::snprintf(text, sizeof text, "%s-%s", from, to);
  return text;
}

TEST_F(Occurrences, WindowsOverTheNextFourteenDays) {
  struct Case {
    const char* what;
    TimerSchedule timer;
    int64_t now;
    size_t count;
    std::vector<std::string> first;  // the first windows, in order
    std::string last;                // the last window ("" when none)
  };
  const int64_t jan10noon = localSeconds(2027, 1, 10, 12, 0);  // a Sunday
  TimerSchedule disabled = timer(0, 2027, 1, 10, 20, 0, 60);
  disabled.active = false;
  TimerSchedule zeroLength = timer(0, 2027, 1, 10, 20, 0, 0);
  const Case cases[] = {
      {"once, margins count",
       timer(0, 2027, 1, 10, 20, 0, 60, 5, 10),
       jan10noon,
       1,
       {"10/01 19:55 CET-21:10"},
       "10/01 19:55 CET-21:10"},
      {"once, recording now",
       timer(0, 2027, 1, 10, 11, 30, 60),
       jan10noon,
       1,
       {"10/01 11:30 CET-12:30"},
       "10/01 11:30 CET-12:30"},
      {"once, ended as now begins", timer(0, 2027, 1, 10, 11, 0, 60), jan10noon, 0, {}, ""},
      {"once, ended yesterday", timer(0, 2027, 1, 9, 20, 0, 60), jan10noon, 0, {}, ""},
      {"once, a minute inside the horizon",
       timer(0, 2027, 1, 24, 11, 59, 30),
       jan10noon,
       1,
       {"24/01 11:59 CET-12:29"},
       "24/01 11:59 CET-12:29"},
      {"once, at the horizon", timer(0, 2027, 1, 24, 12, 0, 30), jan10noon, 0, {}, ""},
      {"disabled", disabled, jan10noon, 0, {}, ""},
      {"no length", zeroLength, jan10noon, 0, {}, ""},
      {"code above 11: its first window only",
       timer(20, 2027, 1, 11, 20, 0, 60),
       jan10noon,
       1,
       {"11/01 20:00 CET-21:00"},
       "11/01 20:00 CET-21:00"},
      {"code above 11, ended", timer(12, 2027, 1, 3, 20, 0, 60), jan10noon, 0, {}, ""},
      {"everyday across the month's end",
       timer(1, 2027, 1, 29, 20, 0, 60),
       localSeconds(2027, 1, 30, 21, 30),
       14,
       {"31/01 20:00 CET-21:00", "01/02 20:00 CET-21:00"},
       "13/02 20:00 CET-21:00"},
      {"everyday, the 14-day edge: today's starts now, the 15th does not count",
       timer(1, 2027, 1, 1, 20, 0, 60),
       localSeconds(2027, 1, 10, 20, 0),
       14,
       {"10/01 20:00 CET-21:00"},
       "23/01 20:00 CET-21:00"},
      {"first start ahead: nothing before it",
       timer(1, 2027, 1, 20, 20, 0, 60),
       jan10noon,
       4,
       {"20/01 20:00 CET-21:00"},
       "23/01 20:00 CET-21:00"},
      {"first start beyond the horizon", timer(1, 2027, 2, 20, 20, 0, 60), jan10noon, 0, {}, ""},
      {"Tuesdays over the leap day",
       timer(7, 2028, 2, 22, 20, 0, 60),
       localSeconds(2028, 2, 25, 0, 0),
       2,
       {"29/02 20:00 CET-21:00", "07/03 20:00 CET-21:00"},
       "07/03 20:00 CET-21:00"},
      {"Mon-Fri across midnight: Friday's still records on Saturday",
       timer(2, 2027, 1, 4, 23, 30, 60),
       localSeconds(2027, 1, 16, 0, 10),
       11,
       {"15/01 23:30 CET-00:30", "18/01 23:30 CET-00:30"},
       "29/01 23:30 CET-00:30"},
      {"Mon-Sat",
       timer(3, 2027, 1, 4, 20, 0, 60),
       jan10noon,
       12,
       {"11/01 20:00 CET-21:00", "12/01 20:00 CET-21:00"},
       "23/01 20:00 CET-21:00"},
      {"every weekend",
       timer(4, 2027, 1, 2, 20, 0, 60),
       jan10noon,
       4,
       {"10/01 20:00 CET-21:00", "16/01 20:00 CET-21:00", "17/01 20:00 CET-21:00"},
       "23/01 20:00 CET-21:00"},
      {"Sundays, margins count every week",
       timer(5, 2027, 1, 3, 20, 0, 60, 5, 5),
       jan10noon,
       2,
       {"10/01 19:55 CET-21:05", "17/01 19:55 CET-21:05"},
       "17/01 19:55 CET-21:05"},
      {"everyday over the spring change: the same local time",
       timer(1, 2027, 3, 20, 20, 0, 60),
       localSeconds(2027, 3, 26, 12, 0),
       14,
       {"26/03 20:00 CET-21:00", "27/03 20:00 CET-21:00", "28/03 20:00 CEST-21:00"},
       "08/04 20:00 CEST-21:00"},
      {"everyday over the autumn change: the same local time",
       timer(1, 2027, 10, 25, 20, 0, 60),
       localSeconds(2027, 10, 29, 12, 0),
       14,
       {"29/10 20:00 CEST-21:00", "30/10 20:00 CEST-21:00", "31/10 20:00 CET-21:00"},
       "11/11 20:00 CET-21:00"},
      {"02:30 on the spring change night moves to 03:30, as mktime moves it",
       timer(1, 2027, 3, 20, 2, 30, 30),
       localSeconds(2027, 3, 27, 0, 0),
       14,
       {"27/03 02:30 CET-03:00", "28/03 03:30 CEST-04:00", "29/03 02:30 CEST-03:00"},
       "09/04 02:30 CEST-03:00"},
      {"02:30 on the autumn change night is the later, standard-time one",
       timer(1, 2027, 10, 20, 2, 30, 30),
       localSeconds(2027, 10, 30, 0, 0),
       14,
       {"30/10 02:30 CEST-03:00", "31/10 02:30 CET-03:00", "01/11 02:30 CET-03:00"},
       "12/11 02:30 CET-03:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<RecordingWindow> windows = timerWindows(c.timer, c.now);
    std::vector<std::string> described;
    for (const RecordingWindow& window : windows) described.push_back(describe(window));
    EXPECT_EQ(described.size(), c.count);
    const std::vector<std::string> first(
        described.begin(), described.begin() + std::min(described.size(), c.first.size()));
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(described.empty() ? "" : described.back(), c.last);
    // The same when the reader of the row has read its start already.
    TimerSchedule read = c.timer;
    std::tm fields{};
    fields.tm_year = read.year - 1900, fields.tm_mon = read.month - 1, fields.tm_mday = read.day;
    fields.tm_hour = read.hh, fields.tm_min = read.mm;
    const int32_t seconds = localTimeSeconds(fields);
    read.start = LocalStart{seconds, fields.tm_wday};
    std::vector<std::string> readDescribed;
    for (const RecordingWindow& window : timerWindows(read, c.now)) {
      readDescribed.push_back(describe(window));
    }
    EXPECT_EQ(readDescribed, described);
  }
}

// Whether a timer's window has ended, and what the list tells of its next
// recording: "past", "disabled", "now" or its start however far ahead.
TEST_F(Occurrences, OnlyATimerWithoutPatternEnds) {
  const int64_t now = localSeconds(2027, 1, 10, 12, 0);
  TimerSchedule disabledPast = timer(0, 2027, 1, 9, 20, 0, 60);
  disabledPast.active = false;
  TimerSchedule disabledAhead = timer(0, 2027, 1, 11, 20, 0, 60);
  disabledAhead.active = false;
  const struct {
    const char* what;
    TimerSchedule timer;
    bool ended;
    const char* next;
  } cases[] = {
      {"once, ended", timer(0, 2027, 1, 9, 20, 0, 60), true, "past"},
      {"once, ends as now begins", timer(0, 2027, 1, 10, 11, 0, 60), true, "past"},
      {"once, recording", timer(0, 2027, 1, 10, 11, 30, 60), false, "now"},
      {"once, beyond the horizon", timer(0, 2027, 3, 1, 20, 0, 60), false, "01/03 20:00 CET"},
      {"once, years ahead, with its margin", timer(0, 2031, 7, 4, 20, 0, 60, 5), false,
       "04/07 19:55 CEST"},
      {"once and disabled, ended", disabledPast, true, "past"},
      {"once and disabled, ahead", disabledAhead, false, "disabled"},
      {"everyday, first start long past", timer(1, 2026, 1, 1, 20, 0, 60), false,
       "10/01 20:00 CET"},
      {"Sat, first start long past", timer(11, 2026, 1, 3, 20, 0, 60), false, "16/01 20:00 CET"},
      {"Mon, months ahead, in summer time", timer(6, 2027, 6, 7, 20, 0, 60), false,
       "07/06 20:00 CEST"},
      {"Mon-Fri from a Saturday months ahead", timer(2, 2027, 6, 5, 6, 0, 60), false,
       "07/06 06:00 CEST"},
      {"code above 11, ended", timer(12, 2027, 1, 9, 20, 0, 60), true, "past"},
      {"code above 11, ahead", timer(12, 2027, 5, 9, 20, 0, 60), false, "09/05 20:00 CEST"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(windowEnded(c.timer, now), c.ended);
    const NextRecording next = nextRecording(c.timer, now);
    switch (next.kind) {
      case NextRecording::kPast:
        EXPECT_STREQ(c.next, "past");
        break;
      case NextRecording::kDisabled:
        EXPECT_STREQ(c.next, "disabled");
        break;
      case NextRecording::kNow:
        EXPECT_STREQ(c.next, "now");
        EXPECT_LE(next.start, now);
        break;
      case NextRecording::kAt: {
        const std::string start = describe({next.start, next.start});
        EXPECT_EQ(start.substr(0, start.find('-')), c.next);
        break;
      }
    }
  }
}

TEST_F(Occurrences, MomentLabelIsWeekdayDayMonthAndTime) {
  const struct {
    int64_t instant;
    const char* label;
  } cases[] = {{localSeconds(2025, 12, 9, 20, 15), "Tue 9/12 20:15"},
               {localSeconds(2027, 3, 3, 0, 5), "Wed 3/3 00:05"},
               {localSeconds(2027, 1, 10, 23, 59), "Sun 10/1 23:59"},
               {localSeconds(2027, 10, 31, 3, 0), "Sun 31/10 03:00"}};
  for (const auto& c : cases) {
    EXPECT_EQ(momentLabel(c.instant), c.label);
    // With the zone's offsets read beforehand, inside their span and outside.
    EXPECT_EQ(momentLabel(c.instant, occurrenceZone(c.instant - 86400)), c.label);
    EXPECT_EQ(momentLabel(c.instant, occurrenceZone(c.instant - 400 * 86400)), c.label);
  }
}

}  // namespace
