// The form's date and time pickers read into a timer's start and length.
#include "model/picked_times.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "model/booking.h"
#include "platform/local_time.h"

namespace {

constexpr int64_t kMinutesPerDay = 24 * 60;

// The number of exactly `digits` decimal digits at text[at], or none.
std::optional<int32_t> digitsAt(std::string_view text, size_t at, size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  int32_t number = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    number = number * 10 + (text[i] - '0');
  }
  return number;
}

// "HH:MM" as minutes after midnight, or none.
std::optional<int32_t> clockMinutes(std::string_view text) {
  if (text.size() != 5 || text[2] != ':') return std::nullopt;
  const std::optional<int32_t> hh = digitsAt(text, 0, 2), mm = digitsAt(text, 3, 2);
  if (!hh || !mm || *hh > 23 || *mm > 59) return std::nullopt;
  return *hh * 60 + *mm;
}

// Sets day, month and year from "YYYY-MM-DD"; false when it is not one.
bool readDate(std::string_view text, TimerValues& values) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const std::optional<int32_t> year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2),
                               day = digitsAt(text, 8, 2);
  if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31) return false;
  values.year = *year, values.month = *month, values.day = *day;
  return true;
}

// Minutes of a day in 0 to 1439, also for a negative count.
int64_t withinDay(int64_t minutes) {
  return ((minutes % kMinutesPerDay) + kMinutesPerDay) % kMinutesPerDay;
}

// Appends a number of 0 or more, zero-filled to `width` digits.
void appendPadded(std::string& text, int64_t number, size_t width) {
  const std::string digits = std::to_string(number);
  if (digits.size() < width) text.append(width - digits.size(), '0');
  text += digits;
}

}  // namespace

std::optional<EntryRefusal> applyPickedTimes(const PickedTimes& picked, TimerValues& values) {
  std::optional<EntryRefusal> refusal;
  if (picked.date && !readDate(*picked.date, values)) refusal = EntryRefusal::kDateMalformed;
  bool startRead = true;
  if (picked.start) {
    if (const std::optional<int32_t> start = clockMinutes(*picked.start)) {
      values.hh = *start / 60, values.mm = *start % 60;
    } else {
      startRead = false;
      if (!refusal) refusal = EntryRefusal::kStartMalformed;
    }
  }
  if (picked.end) {
    const std::optional<int32_t> end = clockMinutes(*picked.end);
    if (!end) {
      if (!refusal) refusal = EntryRefusal::kEndMalformed;
    } else if (startRead) {
      // Both read as local time on the start's date as read (hh and mm as
      // sent may lie beyond a day, "44:30"), so that on the nights of a
      // daylight-saving change the recording ends at the time entered.
      std::tm start = enteredStartFields(values);
      const int64_t startInstant = localTimeInstant(start);
      std::tm until = start;
      until.tm_hour = *end / 60, until.tm_min = *end % 60, until.tm_sec = 0;
      // An end equal to the start keeps the length at nothing: a form saved
      // unchanged keeps a timer of no length (the margins may still make a
      // recording of it) rather than making it last a whole day.
      const bool nextDay = *end < start.tm_hour * 60 + start.tm_min;
      const int64_t length = (localTimeInstant(until, nextDay ? 1 : 0) - startInstant) / 60;
      values.hours = static_cast<int32_t>(length / 60);
      values.mins = static_cast<int32_t>(length % 60);
    }
  }
  return refusal;
}

std::string pickerDate(int32_t year, int32_t month, int32_t day) {
  if (year < 0 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return "";
  std::string text;
  appendPadded(text, year, 4);
  text += '-';
  appendPadded(text, month, 2);
  text += '-';
  appendPadded(text, day, 2);
  return text;
}

std::string pickerEnd(const TimerValues& values) {
  std::tm start = enteredStartFields(values);
  const int64_t end =
      localTimeInstant(start) + int64_t{values.hours} * 3600 + int64_t{values.mins} * 60;
  const std::tm local = localFields(end, ZoneOffsets{});
  return pickerTime(int64_t{local.tm_hour} * 60 + local.tm_min);
}

std::string pickerTime(int64_t minutes) {
  const int64_t time = withinDay(minutes);
  std::string text;
  appendPadded(text, time / 60, 2);
  text += ':';
  appendPadded(text, time % 60, 2);
  return text;
}
