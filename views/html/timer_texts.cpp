// How instants and overlaps read on the page: "Tue 9/12 20:15" and
// "Overlaps with <title> on Tue 9/12 20:15".
#include "views/html/timer_texts.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/local_time.h"
#include "quib/html.h"
#include "texts/catalogue.h"

namespace {

constexpr Text kWeekdays[] = {Text::kSun, Text::kMon, Text::kTue, Text::kWed,
                              Text::kThu, Text::kFri, Text::kSat};
constexpr Text kMonths[] = {Text::kJan, Text::kFeb, Text::kMar, Text::kApr, Text::kMay, Text::kJun,
                            Text::kJul, Text::kAug, Text::kSep, Text::kOct, Text::kNov, Text::kDec};

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

// "Tue 9/12 20:15" from the local fields of an instant; "Tue 9/12/2025
// 20:15" with the year.
std::string labelOf(const std::tm& local, bool withYear = false) {
  std::string text;
  if (withYear) {
    appendMoment(text, Text::kMomentYearFormat, local,
                 std::to_string(int64_t{local.tm_year} + 1900));
  } else {
    appendMoment(text, Text::kMomentFormat, local, std::string_view());
  }
  return text;
}

}  // namespace

void appendMoment(std::string& text, Text format, const std::tm& local, std::string_view year) {
  const int day = local.tm_mday;
  const int month = local.tm_mon + 1;
  std::string numbers;  // day, month, time, day and month with two digits
  numbers.reserve(16);
  appendNumber(numbers, day);
  const size_t monthAt = numbers.size();
  appendNumber(numbers, month);
  const size_t timeAt = numbers.size();
  appendTwoDigits(numbers, local.tm_hour);
  numbers += ':';
  appendTwoDigits(numbers, local.tm_min);
  const size_t paddedAt = numbers.size();
  appendTwoDigits(numbers, day);
  appendTwoDigits(numbers, month);
  const std::string_view all(numbers);
  appendFilled(text, textOf(format),
               {weekdayName(local.tm_wday), all.substr(0, monthAt),
                all.substr(monthAt, timeAt - monthAt), year, all.substr(timeAt, paddedAt - timeAt),
                all.substr(paddedAt, 2), all.substr(paddedAt + 2, 2)});
}

// Out of range, as the C library writes it: "?".
std::string_view weekdayName(int weekday) {
  return weekday >= 0 && weekday < 7 ? textOf(kWeekdays[weekday]) : "?";
}

std::string_view monthName(int month) {
  return month >= 0 && month < 12 ? textOf(kMonths[month]) : "?";
}

std::string_view englishWeekdayName(int weekday) {
  return weekday >= 0 && weekday < 7 ? formOf(englishCatalogue(), kWeekdays[weekday], 0) : "?";
}

std::string_view englishMonthName(int month) {
  return month >= 0 && month < 12 ? formOf(englishCatalogue(), kMonths[month], 0) : "?";
}

// The numbers as strftime's "%e %H:%M:%S %Y" writes them, so that every C
// library's own way with years stays; the English names, as the C library
// has them in every language.
std::string timestampText(const std::tm& local) {
  std::string numbers(64, '\0');
  numbers.resize(std::strftime(numbers.data(), numbers.size(), "%e %H:%M:%S %Y\n", &local));
  std::string text(englishWeekdayName(local.tm_wday));
  text += ' ';
  text += englishMonthName(local.tm_mon);
  text += ' ';
  text += numbers;
  return text;
}

std::string momentLabel(int64_t instant, const ZoneOffsets& zone) {
  if (instant < zone.from || instant >= zone.to) return momentLabel(instant);
  return labelOf(localFields(instant, zone));
}

std::string momentLabel(int64_t instant, const ZoneOffsets& zone, bool withYear) {
  if (!withYear) return momentLabel(instant, zone);
  const std::time_t value = static_cast<std::time_t>(instant);
  std::tm local{};
  if (localtime_r(&value, &local) == nullptr) return std::string();
  return labelOf(local, true);
}

std::string momentLabel(int64_t instant) {
  const std::time_t value = static_cast<std::time_t>(instant);
  std::tm local{};
  if (localtime_r(&value, &local) == nullptr) return std::string();
  return labelOf(local);
}

std::string overlapText(std::string_view otherTitle, int64_t moment) {
  return textWith(Text::kOverlapsWith, {quibHtmlEscape(otherTitle), momentLabel(moment)});
}
