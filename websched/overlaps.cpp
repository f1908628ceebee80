// Timers that cannot all record: a sweep over the start and end points of
// every recording window finds the instants at which more timers record from
// the tuners (or from the one AV input) than there are of them.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "websched/websched.h"

namespace {

// What a window records from: the tuners share kTuner, the AV input is one.
enum Kind : size_t { kTuner = 0, kAV = 1, kKinds = 2 };

struct Window {
  size_t timer;  // index in database order
  Kind kind;
};

// A window's start or end. At one instant ends come before starts: a window
// that ends as another begins does not overlap it.
struct Point {
  int64_t time;
  bool start;
  size_t window;
};

bool before(const Point& a, const Point& b) {
  if (a.time != b.time) return a.time < b.time;
  return !a.start && b.start;
}

// Windows recording at one instant, by (timer, window): the first is the one
// of the first timer in database order.
using Recording = std::set<std::pair<size_t, size_t>>;

}  // namespace

std::vector<std::optional<TimerOverlap>> findOverlaps(const std::vector<TimerSchedule>& timers,
                                                      int64_t now, int32_t tuners) {
  std::vector<std::optional<TimerOverlap>> overlaps(timers.size());
  std::vector<Window> windows;
  std::vector<Point> points;
  for (size_t timer = 0; timer < timers.size(); ++timer) {
    const Kind kind = timers[timer].av ? kAV : kTuner;
    for (const RecordingWindow& window : timerWindows(timers[timer], now)) {
      points.push_back({window.start, true, windows.size()});
      points.push_back({window.end, false, windows.size()});
      windows.push_back({timer, kind});
    }
  }
  std::sort(points.begin(), points.end(), before);

  const size_t capacity[kKinds] = {static_cast<size_t>(std::max<int32_t>(tuners, 1)), 1};
  Recording recording[kKinds];
  // The recording windows of timers that have no overlap yet: each leaves
  // this set once, so the sweep stays O(n log n) however many overlap.
  Recording waiting[kKinds];
  size_t next = 0;
  while (next < points.size()) {
    const int64_t instant = points[next].time;
    bool started[kKinds] = {false, false};
    for (; next < points.size() && points[next].time == instant; ++next) {
      const Point& point = points[next];
      const Window& window = windows[point.window];
      const std::pair<size_t, size_t> entry{window.timer, point.window};
      if (!point.start) {
        recording[window.kind].erase(entry);
        waiting[window.kind].erase(entry);
        continue;
      }
      recording[window.kind].insert(entry);
      if (!overlaps[window.timer]) waiting[window.kind].insert(entry);
      started[window.kind] = true;
    }
    // Only a start can put a kind over capacity; every waiting timer that
    // records now has its first overlap at this instant.
    for (size_t kind = kTuner; kind < kKinds; ++kind) {
      if (!started[kind] || recording[kind].size() <= capacity[kind]) continue;
      for (auto it = waiting[kind].begin(); it != waiting[kind].end();) {
        const size_t timer = it->first;
        auto other = recording[kind].begin();
        while (other != recording[kind].end() && other->first == timer) ++other;
        if (other == recording[kind].end()) {
          ++it;  // only its own windows record: nothing to name yet
          continue;
        }
        if (!overlaps[timer]) overlaps[timer] = TimerOverlap{other->first, instant};
        it = waiting[kind].erase(it);
      }
    }
  }
  return overlaps;
}

std::string overlapText(std::string_view otherTitle, int64_t moment) {
  return quibHtmlEscape(otherTitle) + " on " + momentLabel(moment);
}
