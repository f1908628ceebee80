// How instants and overlaps read on the page: "Tue 9/12 20:15" and
// "<title> on Tue 9/12 20:15".
#include "views/html/timer_texts.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "model/repeat.h"
#include "platform/local_time.h"
#include "quib/quib.h"
#include "views/html/options.h"

namespace {

// A day, month, hour or minute (0-99) in decimal, appended to text.
void appendNumber(std::string& text, int value) {
  if (value >= 10) text += static_cast<char>('0' + value / 10);
  text += static_cast<char>('0' + value % 10);
}
// The same with two digits at least.
void appendTwoDigits(std::string& text, int value) {
  text += static_cast<char>('0' + value / 10);
  text += static_cast<char>('0' + value % 10);
}

// "Tue 9/12 20:15" from the local fields of an instant.
std::string labelOf(const std::tm& local) {
  std::string text = web_sched_week[kFirstWeekdayCode + local.tm_wday];
  text += ' ';
  appendNumber(text, local.tm_mday);
  text += '/';
  appendNumber(text, local.tm_mon + 1);
  text += ' ';
  appendTwoDigits(text, local.tm_hour);
  text += ':';
  appendTwoDigits(text, local.tm_min);
  return text;
}

}  // namespace

std::string momentLabel(int64_t instant, const ZoneOffsets& zone) {
  if (instant < zone.from || instant >= zone.to) return momentLabel(instant);
  return labelOf(localFields(instant, zone));
}

std::string momentLabel(int64_t instant) {
  const std::time_t value = static_cast<std::time_t>(instant);
  std::tm local{};
  if (localtime_r(&value, &local) == nullptr) return std::string();
  return labelOf(local);
}

std::string overlapText(std::string_view otherTitle, int64_t moment) {
  return quibHtmlEscape(otherTitle) + " on " + momentLabel(moment);
}
