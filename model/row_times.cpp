// A stored row's times: the start read as the timer write read it, the
// margins folded out of the firmware's window columns again.
#include "model/row_times.h"

#include "platform/local_time.h"
#include "platform/time_arith.h"

namespace {

// Booking arithmetic is 32-bit as on the recorder: sums and differences wrap
// instead of overflowing.
int32_t add32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t sub32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int32_t mul32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// The row's start as local time, read exactly as the timer write read it
// (unwrapped); local gets the start's local date and time.
int64_t localStart(const ScheduleRow& row, std::tm& local) {
  local = std::tm{};
  local.tm_year = sub32(row.year, 1900);
  local.tm_mon = sub32(row.month, 1);
  local.tm_mday = row.day;
  local.tm_hour = row.hh;
  local.tm_min = row.mm;
  local.tm_sec = 0;
  return localTimeInstant(local);
}

// Calendar days from the date of a to the date of b (both local).
int32_t daysBetween(const std::tm& a, const std::tm& b) {
  return static_cast<int32_t>(floorDiv(wallClockSeconds(b), kSecondsPerDay) -
                              floorDiv(wallClockSeconds(a), kSecondsPerDay));
}

}  // namespace

int32_t rowLengthSeconds(const ScheduleRow& row) {
  return add32(mul32(row.hours, 3600), mul32(row.mins, 60));
}

RowStart readStart(const ScheduleRow& row) {
  RowStart start;
  start.instant = localStart(row, start.local);
  start.seconds = static_cast<int32_t>(static_cast<uint32_t>(start.instant));
  return start;
}

RowTimes deriveTimes(const ScheduleRow& row, const RowStart& rowStart, const ZoneOffsets& zone) {
  RowTimes times;
  const std::tm& first = rowStart.local;
  const int32_t start = rowStart.seconds;
  const int32_t length = rowLengthSeconds(row);
  // The margin in 32 bits: the same whether timestamp_start was stored
  // wrapped or in full.
  const int32_t prepadSeconds = sub32(start, static_cast<int32_t>(row.timestampStart));
  times.prepad = prepadSeconds / 60;
  times.postpad = sub32(sub32(row.timestampOffset, length) / 60, times.prepad);
  times.windowStart = rowStart.instant - prepadSeconds;
  // The end in 64 bits, so a row past the 32-bit range lists the same on
  // every build.
  const std::tm local = localFields(rowStart.instant + length, zone);
  times.ehh = local.tm_hour;
  times.emm = local.tm_min;
  times.endDays = daysBetween(first, local);
  times.fhours = row.timestampOffset / 3600;
  times.fmins = (row.timestampOffset % 3600) / 60;
  return times;
}
