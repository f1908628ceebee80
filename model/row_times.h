// A stored row's times as the interface shows them: its start read as local
// time, its margins, its end and its recording window.
#pragma once

#include <cstdint>
#include <ctime>

#include "model/timer.h"
#include "platform/local_time.h"

// The row's start read as local time, once for the row's times and its
// recording windows.
struct RowStart {
  int64_t instant = 0;
  int32_t seconds = 0;  // instant wrapped to 32 bits, as the timer write stores it
  std::tm local{};      // the start's local date and time
};

// The values derived from a row for display.
struct RowTimes {
  int32_t prepad = 0;   // minutes
  int32_t postpad = 0;  // minutes
  int32_t ehh = 0;
  int32_t emm = 0;
  int32_t fhours = 0;
  int32_t fmins = 0;
  int32_t endDays = 0;      // local days from the start's date to the end's
  int64_t windowStart = 0;  // the recording's start, margin included
};

// The start columns read exactly as the timer write read them (unwrapped).
RowStart readStart(const ScheduleRow& row);
// The margins, the end and the window of the row, its start read already;
// the end's local time with the zone's offsets read beforehand, when given.
RowTimes deriveTimes(const ScheduleRow& row, const RowStart& rowStart,
                     const ZoneOffsets& zone = ZoneOffsets{});
// The programme's length in seconds (hours and minutes columns), in 32 bits
// as the recorder computes it.
int32_t rowLengthSeconds(const ScheduleRow& row);
