// Overlaps: timers that cannot all record, for want of a tuner or the one AV input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/occurrences.h"
#include "model/timer.h"
#include "skedra_recorder.h"

constexpr int32_t kRecorderTuners = RECORDER_TUNERS;

// The first overlap of a timer: whom it collides with and from when.
struct TimerOverlap {
  size_t other = 0;    // index of the other timer
  int64_t moment = 0;  // the instant the overlap begins
};

// Each timer's first overlap (same index as timers, which are in database
// order), over the windows of timerWindows at now. Tuner timers conflict when
// more than `tuners` of them record at one instant, AV timers when two do;
// a window that ends when another begins does not overlap it. A timer's first
// overlap is the earliest instant at which it records while its kind is over
// capacity, with the first timer in database order among the others that
// record then. With one tuner that is the overlap that begins earliest (ties
// in database order) at the later of the two windows' starts.
std::vector<std::optional<TimerOverlap>> findOverlaps(const std::vector<TimerSchedule>& timers,
                                                      int64_t now,
                                                      int32_t tuners = kRecorderTuners);
// The same over windows computed beforehand (allTimerWindows of timers).
std::vector<std::optional<TimerOverlap>> findOverlaps(const std::vector<TimerSchedule>& timers,
                                                      const TimerWindows& windows,
                                                      int32_t tuners = kRecorderTuners);

// How many of a timer's overlaps are named; the rest are only counted.
constexpr size_t kOverlapsNamed = 5;

// Every timer that a timer overlaps: the first `named` of them by the
// instant their overlap begins (then in database order), and how many more
// there are.
struct TimerOverlaps {
  std::vector<TimerOverlap> named;
  int32_t more = 0;
};
// Each timer's overlaps (same index as timers) over the windows computed
// beforehand: two timers overlap when both record at an instant at which
// their kind is over capacity, as for findOverlaps; the overlap begins at
// the first such instant. The work grows with the pairs that overlap, the
// memory with the timers that overlap times the timers.
std::vector<TimerOverlaps> findEveryOverlap(const std::vector<TimerSchedule>& timers,
                                            const TimerWindows& windows,
                                            int32_t tuners = kRecorderTuners,
                                            size_t named = kOverlapsNamed);
