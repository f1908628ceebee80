// The list's checks: each row's next recording and overlap, as page text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/timer.h"

// The list screen's view of every timer's windows at now: per timer (in the
// order of the timers given, the database's) the row's "nextrec" ("now"
// while it records, the start of its next window, or "") and "conflict" (""
// or "Overlaps with <title> on Tue 9/12 20:00"), the page's "conflicts" (""
// or "2 timers overlap in the next 14 days"), and the order of the rows on
// the page: the timers' own, or with sortNext by the next window's start
// (timers without one last, the timers' own order among equals).
struct ListChecks {
  std::vector<std::string> nextrec;
  std::vector<std::string> conflict;
  std::string conflicts;
  std::vector<size_t> order;  // indexes into the timers
};
// titles: each timer's title as stored (the schedules' own are not read).
ListChecks listChecks(const std::vector<TimerSchedule>& timers,
                      const std::vector<std::string_view>& titles, bool sortNext, int64_t now);
