// How instants and overlaps read on the page: "Tue 9/12 20:15" and
// "Overlaps with <title> on Tue 9/12 20:15".
#include "views/html/timer_texts.h"

#include <cstdint>
#include <cstring>
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

namespace {

// Collects a moment's characters on the stack and hands them to text in one
// piece, a whole buffer at a time when a translation makes it longer.
class MomentWriter {
 public:
  explicit MomentWriter(std::string& text) : text_(text) {}
  MomentWriter(const MomentWriter&) = delete;
  MomentWriter& operator=(const MomentWriter&) = delete;
  ~MomentWriter() { flush(); }

  void put(char c) {
    if (used_ == sizeof buffer_) flush();
    buffer_[used_++] = c;
  }
  void put(std::string_view part) {
    if (part.size() > sizeof buffer_ - used_) {
      flush();
      if (part.size() > sizeof buffer_) {
        text_.append(part.data(), part.size());
        return;
      }
    }
    std::memcpy(buffer_ + used_, part.data(), part.size());
    used_ += part.size();
  }
  void putNumber(int value) {  // 0-99
    if (value >= 10) put(static_cast<char>('0' + value / 10));
    put(static_cast<char>('0' + value % 10));
  }
  void putTwoDigits(int value) {  // 0-99
    put(static_cast<char>('0' + value / 10));
    put(static_cast<char>('0' + value % 10));
  }

 private:
  void flush() {
    text_.append(buffer_, used_);
    used_ = 0;
  }

  std::string& text_;
  char buffer_[64];
  size_t used_ = 0;
};

}  // namespace

// Each place is written as the format names it, so that a moment costs one
// append to the page of many rows.
void appendMoment(std::string& text, Text format, const std::tm& local, std::string_view year) {
  const std::string_view pattern = textOf(format);
  MomentWriter out(text);
  size_t at = 0;
  while (at < pattern.size()) {
    const char c = pattern[at];
    if (c != '{' || pattern.size() - at < 3 || pattern[at + 2] != '}' || pattern[at + 1] < '1' ||
        pattern[at + 1] > '7') {
      out.put(c);
      ++at;
      continue;
    }
    switch (pattern[at + 1]) {
      case '1':
        out.put(weekdayName(local.tm_wday));
        break;
      case '2':
        out.putNumber(local.tm_mday);
        break;
      case '3':
        out.putNumber(local.tm_mon + 1);
        break;
      case '4':
        out.put(year);
        break;
      case '5':
        out.putTwoDigits(local.tm_hour);
        out.put(':');
        out.putTwoDigits(local.tm_min);
        break;
      case '6':
        out.putTwoDigits(local.tm_mday);
        break;
      default:
        out.putTwoDigits(local.tm_mon + 1);
        break;
    }
    at += 3;
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
