// When each timer records: its recording windows over the next days, read
// from its stored row the way the firmware records it.
#include "model/occurrences.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "model/repeat.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "platform/time_arith.h"

namespace {

// The zone's offsets are read once over the instants that the windows of
// now look at: from the days before now that a long window reaches back, up
// to the days past the horizon that the last window's reading looks at.
constexpr int64_t kZoneSpanBefore = 20 * kSecondsPerDay;
constexpr int64_t kZoneSpanAfter = kOccurrenceHorizon + 22 * kSecondsPerDay;
// More than the offsets of two instants of any zone differ by.
constexpr int64_t kFutureMargin = 3 * kSecondsPerDay;
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

// A pattern's first start: its wall-clock time, its time value as the timer
// write stored it (wrapped to 32 bits) and its local weekday.
struct PatternStart {
  int64_t wall = 0;
  int64_t seconds = 0;
  int weekday = 0;
};

PatternStart patternStart(const TimerSchedule& timer, const ZoneOffsets& zone) {
  PatternStart first;
  first.wall = wallClockSeconds(startFields(timer));
  if (timer.start) {
    first.seconds = timer.start->seconds;
    first.weekday = timer.start->weekday;
  } else {
    first.seconds = wrap32(wallClockInstant(first.wall, zone, &first.weekday));
  }
  return first;
}

// The start of day k of a pattern: the start's local time of day, k local
// days after its date, read as the timer write reads it, with the first
// window's margin.
int64_t patternDayStart(const TimerSchedule& timer, const PatternStart& first, int64_t day,
                        const ZoneOffsets& zone) {
  const int64_t instant = wallClockInstant(first.wall + day * kSecondsPerDay, zone);
  return timer.timestampStart + (int64_t{wrap32(instant)} - first.seconds);
}

// Adds the window to windows when it has not ended at now; returns false
// once windows begin beyond the horizon (every later one does too).
bool keepWindow(int64_t start, int64_t length, int64_t now, std::vector<RecordingWindow>& windows) {
  if (start >= now + kOccurrenceHorizon) return false;
  if (start + length > now) windows.push_back({start, start + length});
  return true;
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
  const PatternStart first = patternStart(timer, zone);
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
    if (!patternAllows(timer.repeat, static_cast<int>((first.weekday + day) % 7))) continue;
    if (!keepWindow(patternDayStart(timer, first, day, zone), length, now, windows)) break;
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

NextRecording nextRecording(const TimerSchedule& timer, const RecordingWindow* firstWindow,
                            int64_t now, const ZoneOffsets& zone) {
  if (windowEnded(timer, now)) return {NextRecording::kPast, 0};
  if (!timer.active) return {NextRecording::kDisabled, 0};
  if (firstWindow != nullptr) {
    return {firstWindow->start <= now ? NextRecording::kNow : NextRecording::kAt,
            firstWindow->start};
  }
  if (!hasPattern(timer.repeat)) return {NextRecording::kAt, timer.timestampStart};
  // The windows lie about a day apart (a clock change moves them by its
  // hour): the first that has not ended at now is on the day of now less
  // the window's length or a few days after it, on the first day the
  // pattern allows, found without walking the days from the first start.
  const PatternStart first = patternStart(timer, zone);
  const int64_t length = std::max<int64_t>(timer.timestampOffset, 0);
  int64_t day = floorDiv(now - length - timer.timestampStart, kSecondsPerDay) - 1;
  if (day < 0) day = 0;
  for (const int64_t lastDay = day + 9; day <= lastDay; ++day) {
    if (!patternAllows(timer.repeat, static_cast<int>((first.weekday + day) % 7))) continue;
    // Day 0 is the first window itself (a pattern that begins ahead).
    const int64_t start =
        day == 0 ? int64_t{timer.timestampStart} : patternDayStart(timer, first, day, zone);
    if (start + length > now)
      return {start <= now ? NextRecording::kNow : NextRecording::kAt, start};
  }
  return {NextRecording::kPast, 0};
}

NextRecording nextRecording(const TimerSchedule& timer, int64_t now) {
  const ZoneOffsets zone = occurrenceZone(now);
  const std::vector<RecordingWindow> windows = timerWindows(timer, now, zone);
  return nextRecording(timer, windows.empty() ? nullptr : &windows.front(), now, zone);
}
