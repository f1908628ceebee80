// The list's checks: each row's next recording and overlap, as page text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/timer.h"

// The list screen's view of every timer's windows at now: per timer (in the
// order of the timers given, the database's) the row's "nextrec" ("now"
// while it records, the start of its next window however far ahead, with
// its year from half a year ahead, "disabled" or "past"), whether it will
// never record again, and its "conflict" ("" or "Overlaps with <title> on
// Tue 9/12 20:00, <title> on ..." with each title a link to that timer's
// row, at most kOverlapsNamed of them and " and 3 more"), the page's
// "conflicts" ("" or "2 timers overlap in the next 14 days") with
// "conflictLinks" (": " and links to the overlapping rows in page order, as
// many and " and N more"), and the order of the rows on the page: the
// timers' own, or with sortNext by the next recording's start (timers
// without one last, the timers' own order among equals).
struct ListChecks {
  std::vector<std::string> nextrec;
  std::vector<bool> past;
  std::vector<std::string> conflict;
  std::string conflicts;
  std::string conflictLinks;
  std::vector<size_t> order;  // indexes into the timers
};
// titles: each timer's title as stored (the schedules' own are not read).
ListChecks listChecks(const std::vector<TimerSchedule>& timers,
                      const std::vector<std::string_view>& titles, bool sortNext, int64_t now);
