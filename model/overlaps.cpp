// Timers that cannot all record: a sweep over the start and end points of
// every recording window finds the instants at which more timers record from
// the tuners (or from the one AV input) than there are of them.
#include "model/overlaps.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/occurrences.h"
#include "model/timer.h"

namespace {

// What a window records from: the tuners share kTuner, the AV input is one.
enum Kind : size_t { kTuner = 0, kAV = 1, kKinds = 2 };

// A window's start or end: twice its instant, one more for a start, so that
// at one instant ends come first (a window that ends as another begins does
// not overlap it).
struct Point {
  int64_t key;
  uint32_t window;
};

constexpr uint32_t kNotWaiting = UINT32_MAX;

// A point's instant and whether it is a start.
int64_t instantOf(const Point& point) {
  return (point.key - (point.key & 1)) / 2;
}
bool isStart(const Point& point) {
  return (point.key & 1) != 0;
}

// How many windows of each timer record, over the timers in database order:
// a Fenwick tree, so that adding or taking one and finding the first timers
// that record both take O(log n).
struct RecordingTimers {
  std::vector<int32_t> tree;  // 1-based
  size_t top = 1;             // the highest power of two not above the timers
};

RecordingTimers recordingTimers(size_t timers) {
  RecordingTimers recording;
  recording.tree.assign(timers + 1, 0);
  while (recording.top * 2 <= timers) recording.top *= 2;
  return recording;
}

void addRecording(RecordingTimers& recording, size_t timer, int32_t delta) {
  for (size_t i = timer + 1; i < recording.tree.size(); i += i & (~i + 1)) {
    recording.tree[i] += delta;
  }
}

// The timer that holds the k-th recording window (k from 1) in database
// order.
size_t timerOfRecording(const RecordingTimers& recording, int32_t k) {
  size_t position = 0;
  for (size_t step = recording.top; step > 0; step /= 2) {
    if (position + step < recording.tree.size() && recording.tree[position + step] < k) {
      position += step;
      k -= recording.tree[position];
    }
  }
  return position;  // the tree's position is one more than the timer's index
}

}  // namespace

std::vector<std::optional<TimerOverlap>> findOverlaps(const std::vector<TimerSchedule>& timers,
                                                      int64_t now, int32_t tuners) {
  return findOverlaps(timers, allTimerWindows(timers, now, occurrenceZone(now)), tuners);
}

std::vector<std::optional<TimerOverlap>> findOverlaps(const std::vector<TimerSchedule>& timers,
                                                      const TimerWindows& all, int32_t tuners) {
  std::vector<std::optional<TimerOverlap>> overlaps(timers.size());
  const size_t windowCount = all.windows.size();
  std::vector<uint32_t> timerOf(windowCount);
  std::vector<Point> points;
  points.reserve(2 * windowCount);
  for (size_t timer = 0; timer < timers.size(); ++timer) {
    for (size_t window = all.first[timer]; window < all.first[timer + 1]; ++window) {
      timerOf[window] = static_cast<uint32_t>(timer);
      points.push_back({all.windows[window].start * 2 + 1, static_cast<uint32_t>(window)});
      points.push_back({all.windows[window].end * 2, static_cast<uint32_t>(window)});
    }
  }
  // Only the order of instants and of ends before starts matters: what
  // happens at one instant is decided after all its points.
  std::sort(points.begin(), points.end(),
            [](const Point& a, const Point& b) { return a.key < b.key; });

  const int32_t capacity[kKinds] = {std::max<int32_t>(tuners, 1), 1};
  RecordingTimers recording[kKinds] = {recordingTimers(timers.size()),
                                       recordingTimers(timers.size())};
  int32_t recordingTotal[kKinds] = {0, 0};
  std::vector<int32_t> recordingOf(timers.size(), 0);  // windows of a timer that record
  // The recording windows of timers that have no overlap yet: each leaves
  // this list once, so the sweep stays O(n log n) however many overlap.
  std::vector<uint32_t> waiting[kKinds];
  std::vector<uint32_t> waitingAt(windowCount, kNotWaiting);
  auto leaveWaiting = [&](Kind kind, uint32_t window) {
    std::vector<uint32_t>& list = waiting[kind];
    const uint32_t at = waitingAt[window];
    list[at] = list.back();
    waitingAt[list[at]] = at;
    list.pop_back();
    waitingAt[window] = kNotWaiting;
  };

  size_t next = 0;
  while (next < points.size()) {
    const int64_t instant = instantOf(points[next]);
    bool started[kKinds] = {false, false};
    for (; next < points.size() && instantOf(points[next]) == instant; ++next) {
      const uint32_t window = points[next].window;
      const uint32_t timer = timerOf[window];
      const Kind kind = timers[timer].av ? kAV : kTuner;
      const bool start = isStart(points[next]);
      addRecording(recording[kind], timer, start ? 1 : -1);
      recordingTotal[kind] += start ? 1 : -1;
      recordingOf[timer] += start ? 1 : -1;
      if (!start) {
        if (waitingAt[window] != kNotWaiting) leaveWaiting(kind, window);
        continue;
      }
      if (!overlaps[timer]) {
        waitingAt[window] = static_cast<uint32_t>(waiting[kind].size());
        waiting[kind].push_back(window);
      }
      started[kind] = true;
    }
    // Only a start can put a kind over capacity; every waiting timer that
    // records now has its first overlap at this instant, naming the first
    // other timer in database order that records.
    for (const Kind kind : {kTuner, kAV}) {
      if (!started[kind] || recordingTotal[kind] <= capacity[kind] || waiting[kind].empty()) {
        continue;
      }
      const size_t first = timerOfRecording(recording[kind], 1);
      const int32_t firstCount = recordingOf[first];
      const std::optional<size_t> second =
          recordingTotal[kind] > firstCount
              ? std::optional<size_t>(timerOfRecording(recording[kind], firstCount + 1))
              : std::nullopt;
      for (size_t i = 0; i < waiting[kind].size();) {
        const uint32_t window = waiting[kind][i];
        const uint32_t timer = timerOf[window];
        const std::optional<size_t> other = timer != first ? std::optional<size_t>(first) : second;
        if (!other) {
          ++i;  // only its own windows record: nothing to name yet
          continue;
        }
        if (!overlaps[timer]) overlaps[timer] = TimerOverlap{*other, instant};
        leaveWaiting(kind, window);  // the list's last entry takes place i
      }
    }
  }
  return overlaps;
}

namespace {

// The overlaps found so far: each pair of timers once, each timer's first
// overlaps by instant and database order.
class OverlapLists {
 public:
  OverlapLists(size_t timers, size_t named) : lists_(timers), seen_(timers), named_(named) {}

  void add(size_t a, size_t b, int64_t moment) {
    if (a == b) return;
    const size_t low = std::min(a, b);
    const size_t high = std::max(a, b);
    std::vector<uint64_t>& row = seen_[low];
    if (row.empty()) row.assign((lists_.size() + 63) / 64, 0);
    const uint64_t bit = uint64_t{1} << (high % 64);
    if ((row[high / 64] & bit) != 0) return;
    row[high / 64] |= bit;
    name(lists_[a], {b, moment});
    name(lists_[b], {a, moment});
  }

  std::vector<TimerOverlaps> take() { return std::move(lists_); }

 private:
  static bool before(const TimerOverlap& x, const TimerOverlap& y) {
    return x.moment != y.moment ? x.moment < y.moment : x.other < y.other;
  }

  // Overlaps come in time order, but not in database order within one
  // instant: a full list gives up its last name for an earlier one.
  void name(TimerOverlaps& list, const TimerOverlap& overlap) {
    if (list.named.size() == named_) {
      if (named_ == 0 || !before(overlap, list.named.back())) {
        ++list.more;
        return;
      }
      list.named.pop_back();
      ++list.more;
    }
    const auto at = std::upper_bound(list.named.begin(), list.named.end(), overlap, before);
    list.named.insert(at, overlap);
  }

  std::vector<TimerOverlaps> lists_;
  std::vector<std::vector<uint64_t>> seen_;  // by the lower index: a bit per higher one
  size_t named_;
};

}  // namespace

std::vector<TimerOverlaps> findEveryOverlap(const std::vector<TimerSchedule>& timers,
                                            const TimerWindows& all, int32_t tuners, size_t named) {
  OverlapLists lists(timers.size(), named);
  const size_t windowCount = all.windows.size();
  std::vector<uint32_t> timerOf(windowCount);
  std::vector<Point> points;
  points.reserve(2 * windowCount);
  for (size_t timer = 0; timer < timers.size(); ++timer) {
    for (size_t window = all.first[timer]; window < all.first[timer + 1]; ++window) {
      timerOf[window] = static_cast<uint32_t>(timer);
      points.push_back({all.windows[window].start * 2 + 1, static_cast<uint32_t>(window)});
      points.push_back({all.windows[window].end * 2, static_cast<uint32_t>(window)});
    }
  }
  std::sort(points.begin(), points.end(),
            [](const Point& a, const Point& b) { return a.key < b.key; });

  const size_t capacity[kKinds] = {static_cast<size_t>(std::max<int32_t>(tuners, 1)), 1};
  // The windows of each kind that record, unordered (place finds each).
  std::vector<uint32_t> recording[kKinds];
  std::vector<uint32_t> place(windowCount);
  // Whether a kind was over capacity after the previous instant: then every
  // pair of its recording timers has been found already.
  bool over[kKinds] = {false, false};
  std::vector<uint32_t> started[kKinds];
  std::vector<uint32_t> members;  // the timers of a kind that record

  size_t next = 0;
  while (next < points.size()) {
    const int64_t instant = instantOf(points[next]);
    for (; next < points.size() && instantOf(points[next]) == instant; ++next) {
      const uint32_t window = points[next].window;
      const uint32_t timer = timerOf[window];
      std::vector<uint32_t>& on = recording[timers[timer].av ? kAV : kTuner];
      if (isStart(points[next])) {
        place[window] = static_cast<uint32_t>(on.size());
        on.push_back(window);
        started[timers[timer].av ? kAV : kTuner].push_back(timer);
      } else {
        const uint32_t moved = on.back();
        on[place[window]] = moved;
        place[moved] = place[window];
        on.pop_back();
      }
    }
    for (const Kind kind : {kTuner, kAV}) {
      const bool nowOver = recording[kind].size() > capacity[kind];
      if (nowOver && !started[kind].empty()) {
        // In any order, a timer twice when two of its windows record: the
        // lists keep each pair once and put the names in order.
        members.clear();
        for (const uint32_t window : recording[kind]) members.push_back(timerOf[window]);
        if (!over[kind]) {
          // Just over capacity: every two timers that record overlap.
          for (size_t i = 0; i < members.size(); ++i) {
            for (size_t j = i + 1; j < members.size(); ++j) {
              lists.add(members[i], members[j], instant);
            }
          }
        } else {
          // Still over: each timer that starts overlaps every one that records.
          for (const uint32_t a : started[kind]) {
            for (const uint32_t b : members) lists.add(a, b, instant);
          }
        }
      }
      over[kind] = nowOver;
      started[kind].clear();
    }
  }
  return lists.take();
}
