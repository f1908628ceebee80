// Remarks on a saved entry that tell the user how it was read: a date or
// time that the conversion moved, a timer in the past, its first overlap.
#include "views/html/entry_remarks.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "model/booking.h"
#include "model/entry_checks.h"
#include "model/occurrences.h"
#include "model/overlaps.h"
#include "model/repeat.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "views/html/notices.h"
#include "views/html/timer_texts.h"

namespace {

// "31/2/2027"; with the time of day "9/12/2026 23:75".
std::string entryText(int64_t day, int64_t month, int64_t year, bool withTime, int64_t hh,
                      int64_t mm) {
  char text[96];
  int length = std::snprintf(text, sizeof text, "%lld/%lld/%lld", static_cast<long long>(day),
                             static_cast<long long>(month), static_cast<long long>(year));
  if (withTime) {
    std::snprintf(text + length, sizeof text - length, " %02lld:%02lld", static_cast<long long>(hh),
                  static_cast<long long>(mm));
  }
  return text;
}

}  // namespace

// Reads the entry exactly as the write does, before any move of a repeating
// timer's first start, and compares the fields.
std::string normalisedRemark(const TimerValues& values) {
  std::tm read = enteredStartFields(values);
  localTimeSeconds(read);
  const int64_t day = values.day, month = values.month, year = values.year, hh = values.hh,
                mm = values.mm;
  const int64_t readMonth = int64_t{read.tm_mon} + 1, readYear = int64_t{read.tm_year} + 1900;
  const bool timeMoved = read.tm_hour != hh || read.tm_min != mm;
  if (!timeMoved && read.tm_mday == day && readMonth == month && readYear == year) return "";
  return "Saved. " + entryText(day, month, year, timeMoved, hh, mm) + " was read as " +
         entryText(read.tm_mday, readMonth, readYear, timeMoved, read.tm_hour, read.tm_min) + ".";
}

// At the request's one now, so the notice names the same timer and moment as
// the row's warning.
std::string scheduleRemarks(const std::vector<TimerSchedule>& timers, int32_t id) {
  const int64_t now = requestNow();
  std::string remarks;
  for (size_t i = 0; i < timers.size(); ++i) {
    if (timers[i].id != id) continue;
    // Only a "Once" timer is in the past as a whole; any other code repeats
    // or is the firmware's own.
    if (timers[i].repeat == kRepeatOnce && windowEnded(timers[i], now)) {
      appendNotice(remarks, noticeInThePast);
    }
    const std::optional<TimerOverlap> overlap = findOverlaps(timers, now)[i];
    if (overlap) {
      appendNotice(remarks, "Saved. It overlaps with " +
                                overlapText(timers[overlap->other].title, overlap->moment) + ".");
    }
    break;
  }
  return remarks;
}
