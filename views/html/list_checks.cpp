// What the list screen tells of every timer's recording windows: when it
// records next, the first timer it overlaps with, how many overlap, and the
// order of the rows by their next recording.
#include "views/html/list_checks.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "model/occurrences.h"
#include "model/overlaps.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "quib/html.h"
#include "texts/catalogue.h"
#include "views/html/timer_texts.h"

ListChecks listChecks(const std::vector<TimerSchedule>& timers,
                      const std::vector<std::string_view>& titles, bool sortNext, int64_t now) {
  ListChecks checks;
  const ZoneOffsets zone = occurrenceZone(now);
  // Every timer's windows are computed once, for its next recording and for
  // the overlaps.
  const TimerWindows all = allTimerWindows(timers, now, zone);
  const std::vector<std::optional<TimerOverlap>> overlaps = findOverlaps(timers, all);
  auto hasNext = [&all](size_t timer) { return all.first[timer] != all.first[timer + 1]; };

  checks.nextrec.resize(timers.size());
  checks.conflict.resize(timers.size());
  // Most overlaps name one of a few timers: each title is escaped once.
  std::vector<std::optional<std::string>> escaped(timers.size());
  int32_t overlapping = 0;
  for (size_t timer = 0; timer < timers.size(); ++timer) {
    if (hasNext(timer)) {
      // The first window that has not ended.
      const RecordingWindow& next = all.windows[all.first[timer]];
      checks.nextrec[timer] = next.start <= now ? std::string(textOf(Text::kRecordingNow))
                                                : momentLabel(next.start, zone);
    }
    if (const std::optional<TimerOverlap>& overlap = overlaps[timer]) {
      std::optional<std::string>& title = escaped[overlap->other];
      if (!title) title = quibHtmlEscape(titles[overlap->other]);
      checks.conflict[timer] =
          textWith(Text::kOverlapsWith, {*title, momentLabel(overlap->moment, zone)});
      ++overlapping;
    }
  }
  if (overlapping > 0) checks.conflicts = countText(Text::kTimersOverlap, overlapping);

  checks.order.resize(timers.size());
  for (size_t timer = 0; timer < timers.size(); ++timer) checks.order[timer] = timer;
  if (sortNext) {
    // By the next window's start, timers without one last, the database's
    // order among equals.
    std::stable_sort(checks.order.begin(), checks.order.end(), [&](size_t a, size_t b) {
      if (!hasNext(a) || !hasNext(b)) return hasNext(a) && !hasNext(b);
      return all.windows[all.first[a]].start < all.windows[all.first[b]].start;
    });
  }
  return checks;
}
