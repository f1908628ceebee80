// A timer as the rules see it: as the form enters it, as the occurrence checks read its row, as the
// edit form shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One timer as the form sends it, each number read once where the request
// arrives (an absent parameter reads as 0): the margins already in seconds,
// the title already URL-decoded.
struct TimerValues {
  int32_t channel = 0, day = 0, month = 0, year = 0, hh = 0, mm = 0, hours = 0, mins = 0;
  int32_t prepad = 0;
  int32_t postpad = 0;
  int32_t repeat = 0;
  std::string title;
  int32_t quality = 0, target = 0, disabled = 0;
};

// A timer's start columns read as local time (localTimeSeconds): the time
// value and the local weekday of that instant (0 = Sunday).
struct LocalStart {
  int32_t seconds = 0;
  int weekday = 0;
};

// One timer as the occurrence and overlap checks see it: its stored row.
struct TimerSchedule {
  int32_t id = 0;
  // The `date` column: 0 "Once", 1-11 a pattern of days, any other code its
  // first window only.
  int32_t repeat = 0;
  int32_t year = 0, month = 0, day = 0, hh = 0, mm = 0;  // start, local; month 1-12
  int32_t timestampStart = 0;   // the first window's start, margins included
  int32_t timestampOffset = 0;  // the window's length in seconds, margins included
  bool active = false;          // `enable` is 0: only active timers record
  bool av = false;              // records from the external AV input
  std::string title;            // `user_string` as stored
  // The start columns as read already by the caller, when it has read them.
  std::optional<LocalStart> start;
};

// One timer as the edit form shows it.
struct TimerForm {
  int32_t id = 0;
  int16_t channel = 0;  // -1 for the external AV input
  int32_t day = 0;
  int32_t month = 0;
  int32_t year = 0;
  int32_t hh = 0;
  int32_t mm = 0;
  int32_t hours = 0;
  int32_t mins = 0;
  int32_t repeat = 0;
  int32_t prepad = 0;   // minutes
  int32_t postpad = 0;  // minutes
  std::string title;
  int32_t quality = 0;
  int32_t target = 0;
  int32_t enable = 0;  // 0 = active, nonzero = disabled
  int32_t lock = 0;
};

// One row of the list's timer query, by column position.
struct ScheduleRow {
  int32_t source = 0;
  int16_t channel = 0;
  int32_t date = 0;
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hh = 0;
  int32_t mm = 0;
  int32_t hours = 0;
  int32_t mins = 0;
  int32_t id = 0;
  int64_t timestampStart = 0;  // as stored: the triggers may write past 32 bits
  int32_t timestampOffset = 0;
  int32_t enable = 0;
  int32_t quality = 0;
  int32_t target = 0;
  int32_t lock = 0;
  std::string title;
};

// The firmware's source code of the external AV input.
constexpr int32_t kSourceAV = 1;

// A row's margins as the timer write stored them, in 32-bit arithmetic as
// on the recorder: the one before is the start (its columns read as local
// time, wrapped to 32 bits) less timestamp_start; the one after, what
// timestamp_offset holds beyond the length and the margin before.
struct RowMargins {
  int32_t beforeSeconds = 0;
  int32_t before = 0;  // minutes
  int32_t after = 0;   // minutes
};
RowMargins rowMargins(const ScheduleRow& row, int32_t startSeconds);

// The row as the occurrence checks see it, but for its title.
TimerSchedule timingOf(const ScheduleRow& row);
// The row as the occurrence checks see it.
TimerSchedule scheduleOf(const ScheduleRow& row);
