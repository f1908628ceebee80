// Checks of a timer as the form entered it: the bounds that refuse a write
// (values beyond them would wrap into a corrupt firmware row) and the form
// kept as entered for the page that refuses it.
#include "model/entry_checks.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "model/booking.h"
#include "model/timer.h"
#include "model/title_text.h"

namespace {

constexpr int64_t kMarginLimitMinutes = 720;
constexpr int64_t kWindowLimitSeconds = 24 * 3600;

bool marginInRange(int32_t minutes) {
  return minutes >= -kMarginLimitMinutes && minutes <= kMarginLimitMinutes;
}

}  // namespace

std::optional<EntryRefusal> marginRefusal(int32_t prepadMinutes, int32_t postpadMinutes) {
  if (!marginInRange(prepadMinutes) || !marginInRange(postpadMinutes)) {
    return EntryRefusal::kMarginOutOfRange;
  }
  return std::nullopt;
}

// The margins are checked first: a margin out of range also makes the
// window wrong, and the margin is what the user has to change.
std::optional<EntryRefusal> entryRefusal(int32_t prepadMinutes, int32_t postpadMinutes,
                                         int32_t hours, int32_t mins) {
  if (std::optional<EntryRefusal> refusal = marginRefusal(prepadMinutes, postpadMinutes)) {
    return refusal;
  }
  const int64_t window =
      (int64_t{prepadMinutes} + postpadMinutes) * 60 + int64_t{hours} * 3600 + int64_t{mins} * 60;
  if (window <= 0) return EntryRefusal::kWindowNotPositive;
  if (window > kWindowLimitSeconds) return EntryRefusal::kWindowTooLong;
  return std::nullopt;
}

// Read as the write books it, in 64 bits: a value past the limit would wrap
// to a date in 1901 or 1902.
std::optional<EntryRefusal> clockRefusal(const TimerValues& values) {
  constexpr int64_t kClockEnd = INT32_MAX;  // 2038-01-19 03:14:07 UTC
  std::tm fields{};
  const int64_t start = bookedStart(values, fields);
  const int64_t windowStart = start - values.prepad;
  const int64_t windowEnd =
      start + values.postpad + int64_t{values.hours} * 3600 + int64_t{values.mins} * 60;
  if (start >= kClockEnd || windowStart >= kClockEnd || windowEnd >= kClockEnd) {
    return EntryRefusal::kBeyondClock;
  }
  return std::nullopt;
}

std::optional<EntryRefusal> timerEntryRefusal(TimerValues& values, int32_t prepadMinutes,
                                              int32_t postpadMinutes,
                                              const std::optional<std::string>& stored) {
  std::optional<EntryRefusal> refusal =
      entryRefusal(prepadMinutes, postpadMinutes, values.hours, values.mins);
  if (!refusal) refusal = acceptTitle(values.title, stored);
  if (!refusal) refusal = clockRefusal(values);
  return refusal;
}

TimerForm enteredForm(int32_t id, const TimerValues& values, int32_t prepadMinutes,
                      int32_t postpadMinutes) {
  TimerForm form;
  const int32_t channel = channelNumber(values.channel);
  form.id = id;
  form.channel = static_cast<int16_t>(channel > 0 ? channel : -1);
  form.day = values.day;
  form.month = values.month;
  form.year = values.year;
  form.hh = values.hh;
  form.mm = values.mm;
  form.hours = values.hours;
  form.mins = values.mins;
  form.repeat = values.repeat;
  form.prepad = prepadMinutes;
  form.postpad = postpadMinutes;
  form.title = readableTitle(values.title);
  form.quality = values.quality;
  form.target = values.target;
  form.enable = values.disabled;
  return form;
}
