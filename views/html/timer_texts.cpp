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

// Each place is written straight into text as the format names it, so a
// moment costs no allocation of its own on a page of many rows.
void appendMoment(std::string& text, Text format, const std::tm& local, std::string_view year) {
  const std::string_view pattern = textOf(format);
  size_t at = 0;
  while (at < pattern.size()) {
    const size_t open = pattern.find('{', at);
    if (open == std::string_view::npos || pattern.size() - open < 3 || pattern[open + 2] != '}') {
      const size_t end = open == std::string_view::npos ? pattern.size() : open + 1;
      text.append(pattern, at, end - at);
      at = end;
      continue;
    }
    text.append(pattern, at, open - at);
    switch (pattern[open + 1]) {
      case '1':
        text.append(weekdayName(local.tm_wday));
        break;
      case '2':
        appendNumber(text, local.tm_mday);
        break;
      case '3':
        appendNumber(text, local.tm_mon + 1);
        break;
      case '4':
        text.append(year);
        break;
      case '5':
        appendTwoDigits(text, local.tm_hour);
        text += ':';
        appendTwoDigits(text, local.tm_min);
        break;
      case '6':
        appendTwoDigits(text, local.tm_mday);
        break;
      case '7':
        appendTwoDigits(text, local.tm_mon + 1);
        break;
      default:
        text.append(pattern, open, 3);
        break;
    }
    at = open + 3;
  }
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
