// What the list screen tells of every timer's recording windows: when it
// records next, the first timer it overlaps with, how many overlap, and the
// order of the rows by their next recording.
#include "views/html/list_checks.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/occurrences.h"
#include "model/overlaps.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "quib/html.h"
#include "texts/catalogue.h"
#include "views/html/timer_texts.h"

namespace {

// How far ahead a next recording is dated with its year.
constexpr int64_t kYearShown = 183 * 86400;

// The anchor of a timer's row: "timer-12".
void appendRowLink(std::string& html, int32_t id, std::string_view escapedTitle) {
  html += "<a href=\"#timer-";
  html += std::to_string(id);
  html += "\">";
  html += escapedTitle.empty() ? textOf(Text::kUntitled) : escapedTitle;
  html += "</a>";
}

}  // namespace

ListChecks listChecks(const std::vector<TimerSchedule>& timers,
                      const std::vector<std::string_view>& titles, bool sortNext, int64_t now) {
  ListChecks checks;
  const ZoneOffsets zone = occurrenceZone(now);
  // Every timer's windows are computed once, for its next recording and for
  // the overlaps.
  const TimerWindows all = allTimerWindows(timers, now, zone);
  const std::vector<TimerOverlaps> overlaps = findEveryOverlap(timers, all);

  checks.nextrec.resize(timers.size());
  checks.past.resize(timers.size());
  checks.conflict.resize(timers.size());
  std::vector<NextRecording> next(timers.size());
  // A timer is named on every row it overlaps, and the two of a pair at
  // the same instant: each link and each instant's label is made once.
  std::vector<std::optional<std::string>> links(timers.size());
  auto link = [&](size_t timer) -> const std::string& {
    std::optional<std::string>& html = links[timer];
    if (!html) {
      html.emplace();
      appendRowLink(*html, timers[timer].id, quibHtmlEscape(titles[timer]));
    }
    return *html;
  };
  std::unordered_map<int64_t, std::string> labels;
  auto labelAt = [&](int64_t moment) -> const std::string& {
    const auto found = labels.find(moment);
    if (found != labels.end()) return found->second;
    return labels.emplace(moment, momentLabel(moment, zone)).first->second;
  };
  int32_t overlapping = 0;
  for (size_t timer = 0; timer < timers.size(); ++timer) {
    const bool windows = all.first[timer] != all.first[timer + 1];
    next[timer] =
        nextRecording(timers[timer], windows ? &all.windows[all.first[timer]] : nullptr, now, zone);
    switch (next[timer].kind) {
      case NextRecording::kNow:
        checks.nextrec[timer] = textOf(Text::kRecordingNow);
        break;
      case NextRecording::kAt:
        // A recording half a year or more ahead is dated with its year.
        checks.nextrec[timer] =
            momentLabel(next[timer].start, zone, next[timer].start - now >= kYearShown);
        break;
      case NextRecording::kDisabled:
        checks.nextrec[timer] = textOf(Text::kNextDisabled);
        break;
      case NextRecording::kPast:
        checks.nextrec[timer] = textOf(Text::kNextPast);
        checks.past[timer] = true;
        break;
    }
    const TimerOverlaps& its = overlaps[timer];
    if (its.named.empty()) continue;
    std::string& conflict = checks.conflict[timer];
    conflict.reserve(its.named.size() * 96);
    for (const TimerOverlap& overlap : its.named) {
      appendFilled(conflict, textOf(conflict.empty() ? Text::kOverlapsWith : Text::kOverlapsAlso),
                   {link(overlap.other), labelAt(overlap.moment)});
    }
    if (its.more > 0) conflict += textWith(Text::kOverlapsMore, {std::to_string(its.more)});
    ++overlapping;
  }

  checks.order.resize(timers.size());
  for (size_t timer = 0; timer < timers.size(); ++timer) checks.order[timer] = timer;
  if (sortNext) {
    // By the next recording's start, timers without one last, the
    // database's order among equals.
    auto hasNext = [&next](size_t timer) {
      return next[timer].kind == NextRecording::kNow || next[timer].kind == NextRecording::kAt;
    };
    std::stable_sort(checks.order.begin(), checks.order.end(), [&](size_t a, size_t b) {
      if (!hasNext(a) || !hasNext(b)) return hasNext(a) && !hasNext(b);
      return next[a].start < next[b].start;
    });
  }

  if (overlapping > 0) {
    checks.conflicts = countText(Text::kTimersOverlap, overlapping);
    // The overlapping rows in page order, as many named as on a row.
    std::string rows;
    size_t named = 0;
    for (const size_t timer : checks.order) {
      if (overlaps[timer].named.empty() || named++ >= kOverlapsNamed) continue;
      if (!rows.empty()) rows += textOf(Text::kListSeparator);
      rows += link(timer);
    }
    if (named > kOverlapsNamed) {
      rows += textWith(Text::kOverlapsMore, {std::to_string(named - kOverlapsNamed)});
    }
    checks.conflictLinks = textWith(Text::kOverlapRows, {rows});
  }
  return checks;
}
