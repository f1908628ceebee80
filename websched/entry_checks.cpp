// Checks of a timer as the form entered it: the bounds that refuse a write
// (values beyond them would wrap into a corrupt firmware row), the form kept
// as entered for the page that refuses it, and the remarks that tell the user
// how the entry was read.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "websched/websched.h"

const char* const noticeMarginOutOfRange =
    "Not saved: a margin must lie between -720 and 720 minutes (12 hours).";
const char* const noticeWindowNotPositive =
    "Not saved: with its margins the recording would not last at all.";
const char* const noticeWindowTooLong =
    "Not saved: with its margins the recording would last more than 24 hours.";
const char* const noticeInThePast = "Saved, but this timer lies in the past and will not record.";
const char* const noticeBeyondClock =
    "Not saved: the recorder's clock ends on 19/1/2038 at 03:14 UTC; a timer, margins included, "
    "must end before then.";

namespace {

constexpr int64_t kMarginLimitMinutes = 720;
constexpr int64_t kWindowLimitSeconds = 24 * 3600;

bool marginInRange(int32_t minutes) {
  return minutes >= -kMarginLimitMinutes && minutes <= kMarginLimitMinutes;
}

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

std::optional<std::string_view> marginRefusal(int32_t prepadMinutes, int32_t postpadMinutes) {
  if (!marginInRange(prepadMinutes) || !marginInRange(postpadMinutes)) {
    return noticeMarginOutOfRange;
  }
  return std::nullopt;
}

// The margins are checked first: a margin out of range also makes the
// window wrong, and the margin is what the user has to change.
std::optional<std::string_view> entryRefusal(int32_t prepadMinutes, int32_t postpadMinutes,
                                             std::string_view hours, std::string_view mins) {
  if (std::optional<std::string_view> refusal = marginRefusal(prepadMinutes, postpadMinutes)) {
    return refusal;
  }
  const int64_t window = (int64_t{prepadMinutes} + postpadMinutes) * 60 +
                         int64_t{quibAtoi(hours)} * 3600 + int64_t{quibAtoi(mins)} * 60;
  if (window <= 0) return noticeWindowNotPositive;
  if (window > kWindowLimitSeconds) return noticeWindowTooLong;
  return std::nullopt;
}

// Read as the write books it, in 64 bits: a value past the limit would wrap
// to a date in 1901 or 1902.
std::optional<std::string_view> clockRefusal(const TimerValues& values) {
  constexpr int64_t kClockEnd = INT32_MAX;  // 2038-01-19 03:14:07 UTC
  std::tm fields{};
  const int64_t start = bookedStart(values, fields);
  const int64_t windowStart = start - values.prepad;
  const int64_t windowEnd = start + values.postpad + int64_t{quibAtoi(values.hours)} * 3600 +
                            int64_t{quibAtoi(values.mins)} * 60;
  if (start >= kClockEnd || windowStart >= kClockEnd || windowEnd >= kClockEnd) {
    return noticeBeyondClock;
  }
  return std::nullopt;
}

TimerForm enteredForm(int32_t id, const TimerValues& values, int32_t prepadMinutes,
                      int32_t postpadMinutes) {
  TimerForm form;
  const int32_t channel = channelNumber(values.channel);
  form.id = id;
  form.channel = static_cast<int16_t>(channel > 0 ? channel : -1);
  form.day = quibAtoi(values.day);
  form.month = quibAtoi(values.month);
  form.year = quibAtoi(values.year);
  form.hh = quibAtoi(values.hh);
  form.mm = quibAtoi(values.mm);
  form.hours = quibAtoi(values.hours);
  form.mins = quibAtoi(values.mins);
  form.repeat = quibAtoi(values.repeat);
  form.prepad = prepadMinutes;
  form.postpad = postpadMinutes;
  form.title = readableTitle(values.title);
  form.quality = quibAtoi(values.quality);
  form.target = quibAtoi(values.target);
  form.enable = quibAtoi(values.disabled);
  return form;
}

// Reads the entry exactly as the write does, before any move of a repeating
// timer's first start, and compares the fields.
std::string normalisedRemark(const TimerValues& values) {
  std::tm read = enteredStartFields(values);
  localTimeSeconds(read);
  const int64_t day = quibAtoi(values.day), month = quibAtoi(values.month),
                year = quibAtoi(values.year), hh = quibAtoi(values.hh), mm = quibAtoi(values.mm);
  const int64_t readMonth = int64_t{read.tm_mon} + 1, readYear = int64_t{read.tm_year} + 1900;
  const bool timeMoved = read.tm_hour != hh || read.tm_min != mm;
  if (!timeMoved && read.tm_mday == day && readMonth == month && readYear == year) return "";
  return "Saved. " + entryText(day, month, year, timeMoved, hh, mm) + " was read as " +
         entryText(read.tm_mday, readMonth, readYear, timeMoved, read.tm_hour, read.tm_min) + ".";
}

// The stored timers are read as the list reads them, at the request's one
// now, so the notice names the same timer and moment as the row's warning.
std::string scheduleRemarks(int32_t id) {
  const std::vector<TimerSchedule> timers = loadTimerSchedules();
  const int64_t now = requestNow();
  std::string remarks;
  for (size_t i = 0; i < timers.size(); ++i) {
    if (timers[i].id != id) continue;
    // Only a "Once" timer is in the past as a whole; any other code repeats
    // or is the firmware's own.
    if (timers[i].repeat == 0 && windowEnded(timers[i], now)) {
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
