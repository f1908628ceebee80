// Occurrences: the recording windows of each timer over the next days.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/timer.h"
#include "platform/local_time.h"

// Windows are computed over this span from now: the next 14 days.
constexpr int64_t kOccurrenceHorizon = 14 * 86400;

// One recording window, [start, end) in time-value seconds.
struct RecordingWindow {
  int64_t start = 0;
  int64_t end = 0;
};

// The time of this request: read on the first call, the same on every later
// one, so that every check of one request sees the same now.
int64_t requestNow();

// The windows of one timer that have not ended at now and begin before now +
// kOccurrenceHorizon, in time order; none for an inactive timer or a window
// length of 0 or less. Without a pattern: the one window from
// timestamp_start for timestamp_offset seconds. With a pattern (codes 1-11):
// one window on every day the pattern allows from the start's local date on,
// at the start's local time of day on that date (read as the timer write
// reads it, so across a daylight-saving change), with the first window's
// pre-margin and length.
std::vector<RecordingWindow> timerWindows(const TimerSchedule& timer, int64_t now);
// The same with the zone's offsets read beforehand (occurrenceZone(now)).
std::vector<RecordingWindow> timerWindows(const TimerSchedule& timer, int64_t now,
                                          const ZoneOffsets& zone);
// The zone's offsets over every instant that the windows at now are read at.
ZoneOffsets occurrenceZone(int64_t now);

// The windows of many timers in one list: timer i's are windows[first[i]]
// up to windows[first[i + 1]], in time order.
struct TimerWindows {
  std::vector<RecordingWindow> windows;
  std::vector<size_t> first;  // one more than there are timers
};
TimerWindows allTimerWindows(const std::vector<TimerSchedule>& timers, int64_t now,
                             const ZoneOffsets& zone);

// True when the timer has no pattern and its one window has ended by now.
// A repeating timer never ends; the horizon and `active` play no part.
bool windowEnded(const TimerSchedule& timer, int64_t now);

// When a timer records next, however far ahead, as the list tells it.
struct NextRecording {
  enum Kind {
    kPast,      // it will never record again (a single window that has ended)
    kDisabled,  // it is switched off
    kNow,       // a window records at now
    kAt,        // its next window begins at start
  };
  Kind kind = kPast;
  int64_t start = 0;  // kNow and kAt: the window's start
};
// firstWindow: the timer's first window of timerWindows at now, or null when
// it has none; beyond the horizon the next start is found arithmetically,
// from the day of now, in the zone's offsets or the C library's beyond them.
NextRecording nextRecording(const TimerSchedule& timer, const RecordingWindow* firstWindow,
                            int64_t now, const ZoneOffsets& zone);
// The same with the windows computed here.
NextRecording nextRecording(const TimerSchedule& timer, int64_t now);
