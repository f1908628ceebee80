// When each timer records: its recording windows over the next days, read
// from its stored row the way the firmware records it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "websched/store_statements.h"
#include "websched/websched.h"

using timer_store::wrap32;

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// The zone's offsets are read once over the instants that the windows of
// now look at: from the days before now that a long window reaches back, up
// to the days past the horizon that the last window's reading looks at.
constexpr int64_t kZoneSpanBefore = 20 * kSecondsPerDay;
constexpr int64_t kZoneSpanAfter = kOccurrenceHorizon + 22 * kSecondsPerDay;
// More than the offsets of two instants of any zone differ by.
constexpr int64_t kFutureMargin = 3 * kSecondsPerDay;
// The firmware's repeat codes that name a pattern of days.
constexpr int32_t kFirstPattern = 1;  // "Everyday"
constexpr int32_t kLastPattern = 11;  // "Sat"
constexpr int32_t kFirstWeekday = 5;  // "Sun": codes 5-11 are the single weekdays
constexpr int kSunday = 0, kMonday = 1, kFriday = 5, kSaturday = 6;

bool hasPattern(int32_t repeat) {
  return repeat >= kFirstPattern && repeat <= kLastPattern;
}

// Whether a pattern records on a day with this weekday (0 = Sunday).
bool patternAllows(int32_t repeat, int weekday) {
  switch (repeat) {
    case 1:  // Everyday
      return true;
    case 2:  // Mon-Fri
      return weekday >= kMonday && weekday <= kFriday;
    case 3:  // Mon-Sat
      return weekday != kSunday;
    case 4:  // Every Weekend
      return weekday == kSaturday || weekday == kSunday;
    default:  // Sun ... Sat
      return weekday == repeat - kFirstWeekday;
  }
}

int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t quotient = a / b;
  return quotient - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// The start columns as fields of a local time, as the list reads them.
std::tm startFields(const TimerSchedule& timer) {
  std::tm fields{};
  fields.tm_year = wrap32(int64_t{timer.year} - 1900);
  fields.tm_mon = wrap32(int64_t{timer.month} - 1);
  fields.tm_mday = timer.day;
  fields.tm_hour = timer.hh;
  fields.tm_min = timer.mm;
  fields.tm_sec = 0;
  return fields;
}

// Adds the window to windows when it has not ended at now; returns false
// once windows begin beyond the horizon (every later one does too).
bool keepWindow(int64_t start, int64_t length, int64_t now, std::vector<RecordingWindow>& windows) {
  if (start >= now + kOccurrenceHorizon) return false;
  if (start + length > now) windows.push_back({start, start + length});
  return true;
}

// A day, month, hour or minute (0-99) in decimal at out; returns the end.
char* appendNumber(char* out, int value) {
  if (value >= 10) *out++ = static_cast<char>('0' + value / 10);
  *out++ = static_cast<char>('0' + value % 10);
  return out;
}
// The same with two digits at least.
char* appendTwoDigits(char* out, int value) {
  *out++ = static_cast<char>('0' + value / 10);
  *out++ = static_cast<char>('0' + value % 10);
  return out;
}

// Appends the windows of timerWindows to windows.
void appendWindows(const TimerSchedule& timer, int64_t now, const ZoneOffsets& zone,
                   std::vector<RecordingWindow>& windows) {
  const int64_t length = timer.timestampOffset;
  if (!timer.active || length <= 0) return;
  if (!hasPattern(timer.repeat)) {
    keepWindow(timer.timestampStart, length, now, windows);
    return;
  }

  // A pattern that begins past the horizon has no window in it yet: every
  // start lies at or after the first one, less what clock changes move it
  // (one that wraps to 32 bits lies long before now).
  if (timer.timestampStart - kFutureMargin >= now + kOccurrenceHorizon) return;
  // Day k of the pattern starts at the start's local time of day, k local
  // days after the start's date; the window keeps the first one's margin.
  // Each start is read as the timer write reads it (wrapped to 32 bits).
  const int64_t wall = wallClockSeconds(startFields(timer));
  int weekday = 0;
  int64_t firstStart = 0;
  if (timer.start) {
    firstStart = timer.start->seconds;
    weekday = timer.start->weekday;
  } else {
    firstStart = wrap32(wallClockInstant(wall, zone, &weekday));
  }
  // The first day whose window can still be recording at now: the windows
  // lie about a day apart (a clock change moves them by its hour). A window
  // longer than the horizon is looked for only that far back.
  const int64_t lengthDays = std::min<int64_t>(length / kSecondsPerDay + 1, 15);
  int64_t day = floorDiv(now - timer.timestampStart, kSecondsPerDay) - lengthDays - 1;
  if (day < 0) day = 0;
  // Past the horizon by more than any clock change moves a window (a bound
  // that also holds where 32-bit time values wrap).
  const int64_t lastDay = day + lengthDays + kOccurrenceHorizon / kSecondsPerDay + 3;
  for (; day <= lastDay; ++day) {
    if (!patternAllows(timer.repeat, static_cast<int>((weekday + day) % 7))) continue;
    const int64_t instant = wallClockInstant(wall + day * kSecondsPerDay, zone);
    const int64_t start = timer.timestampStart + (int64_t{wrap32(instant)} - firstStart);
    if (!keepWindow(start, length, now, windows)) break;
  }
}

}  // namespace

int64_t requestNow() {
  static const int64_t now = std::time(nullptr);
  return now;
}

ZoneOffsets occurrenceZone(int64_t now) {
  return zoneOffsets(now - kZoneSpanBefore, now + kZoneSpanAfter);
}

std::vector<RecordingWindow> timerWindows(const TimerSchedule& timer, int64_t now) {
  return timerWindows(timer, now, occurrenceZone(now));
}

std::vector<RecordingWindow> timerWindows(const TimerSchedule& timer, int64_t now,
                                          const ZoneOffsets& zone) {
  std::vector<RecordingWindow> windows;
  appendWindows(timer, now, zone, windows);
  return windows;
}

TimerWindows allTimerWindows(const std::vector<TimerSchedule>& timers, int64_t now,
                             const ZoneOffsets& zone) {
  TimerWindows all;
  all.first.reserve(timers.size() + 1);
  for (const TimerSchedule& timer : timers) {
    all.first.push_back(all.windows.size());
    appendWindows(timer, now, zone, all.windows);
  }
  all.first.push_back(all.windows.size());
  return all;
}

bool windowEnded(const TimerSchedule& timer, int64_t now) {
  return !hasPattern(timer.repeat) && int64_t{timer.timestampStart} + timer.timestampOffset <= now;
}

std::string momentLabel(int64_t instant, const ZoneOffsets& zone) {
  if (instant < zone.from || instant >= zone.to) return momentLabel(instant);
  const std::tm local = localFields(instant, zone);
  // "Tue 9/12 20:15" as momentLabel's format writes it, without a format.
  char text[16];
  char* end = text;
  for (const char* name = web_sched_week[kFirstWeekday + local.tm_wday]; *name != '\0'; ++name) {
    *end++ = *name;
  }
  *end++ = ' ';
  end = appendNumber(end, local.tm_mday);
  *end++ = '/';
  end = appendNumber(end, local.tm_mon + 1);
  *end++ = ' ';
  end = appendTwoDigits(end, local.tm_hour);
  *end++ = ':';
  end = appendTwoDigits(end, local.tm_min);
  return std::string(text, static_cast<size_t>(end - text));
}

std::string momentLabel(int64_t instant) {
  const std::time_t value = static_cast<std::time_t>(instant);
  std::tm local{};
  if (localtime_r(&value, &local) == nullptr) return std::string();
  char text[48];
  std::snprintf(text, sizeof text, "%s %d/%d %02d:%02d",
                web_sched_week[kFirstWeekday + local.tm_wday], local.tm_mday, local.tm_mon + 1,
                local.tm_hour, local.tm_min);
  return text;
}
