// Remarks on a saved entry that tell the user how it was read: a date or
// time that the conversion moved, a timer in the past, its first overlap.
#include "views/html/entry_remarks.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "model/booking.h"
#include "model/occurrences.h"
#include "model/overlaps.h"
#include "model/repeat.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "quib/html.h"
#include "texts/catalogue.h"
#include "views/html/notices.h"
#include "views/html/timer_texts.h"

namespace {

// A number as "%02lld" writes it: two characters at least, zero-filled.
std::string twoDigits(int64_t value) {
  std::string digits = std::to_string(value);
  if (digits.size() < 2) digits.insert(0, 1, '0');
  return digits;
}

// "31/2/2027"; with the time of day "9/12/2026 23:75".
std::string entryText(int64_t day, int64_t month, int64_t year, bool withTime, int64_t hh,
                      int64_t mm) {
  const std::string time = twoDigits(hh) + ':' + twoDigits(mm);
  return textWith(withTime ? Text::kEntryDateTimeFormat : Text::kEntryDateFormat,
                  {"", std::to_string(day), std::to_string(month), std::to_string(year), time,
                   twoDigits(day), twoDigits(month)});
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
  return textWith(Text::kReadAs, {entryText(day, month, year, timeMoved, hh, mm),
                                  entryText(read.tm_mday, readMonth, readYear, timeMoved,
                                            read.tm_hour, read.tm_min)});
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
      appendNotice(remarks, textOf(Text::kInThePast));
    }
    const std::optional<TimerOverlap> overlap = findOverlaps(timers, now)[i];
    if (overlap) {
      appendNotice(remarks,
                   textWith(Text::kSavedOverlap, {quibHtmlEscape(timers[overlap->other].title),
                                                  momentLabel(overlap->moment)}));
    }
    break;
  }
  return remarks;
}
