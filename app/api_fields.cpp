// The members of a JSON body, each checked once where a resource reads it.
#include <algorithm>
#include <ctime>
#include <string>
#include <utility>

#include "app/api_call.h"
#include "platform/local_time.h"
#include "texts/catalogue.h"

void badValue(std::string_view name, std::string detail) {
  ProblemDetails details{std::move(detail)};
  details.field = std::string(name);
  failCall(Problem::kBadValue, details);
}

void checkFields(const JsonValue& body, const std::vector<std::string_view>& taken,
                 const std::vector<std::string_view>& ignored) {
  for (const auto& [name, value] : body.members) {
    if (std::find(taken.begin(), taken.end(), name) != taken.end()) continue;
    if (std::find(ignored.begin(), ignored.end(), name) != ignored.end()) continue;
    ProblemDetails details{textWith(Text::kApiUnknownField, {name})};
    details.field = name;
    failCall(Problem::kUnknownField, details);
  }
}

std::optional<int32_t> integerField(const JsonValue& body, std::string_view name, int64_t low,
                                    int64_t high) {
  const JsonValue* value = body.find(name);
  if (value == nullptr) return std::nullopt;
  const std::optional<int64_t> number = value->integer();
  if (!number || *number < low || *number > high) {
    badValue(name,
             textWith(Text::kApiNotInteger, {name, std::to_string(low), std::to_string(high)}));
  }
  return static_cast<int32_t>(*number);
}

std::optional<std::string> stringField(const JsonValue& body, std::string_view name) {
  const JsonValue* value = body.find(name);
  if (value == nullptr) return std::nullopt;
  if (value->type != JsonValue::Type::kString) {
    badValue(name, textWith(Text::kApiNotString, {name}));
  }
  return value->text;
}

std::optional<bool> booleanField(const JsonValue& body, std::string_view name) {
  const JsonValue* value = body.find(name);
  if (value == nullptr) return std::nullopt;
  if (value->type != JsonValue::Type::kBool) {
    badValue(name, textWith(Text::kApiNotBoolean, {name}));
  }
  return value->boolean;
}

void missingField(std::string_view name) {
  badValue(name, textWith(Text::kApiMissingField, {name}));
}

// Two digits each for the month and day, hours and minutes of the offset;
// a fraction of a second only when it is zero.
std::optional<int64_t> readRfc3339(std::string_view text) {
  const auto digits = [&text](size_t at, size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + (text[i] - '0');
    }
    return true;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digits(0, 4, year) || text.size() < 20 || text[4] != '-' || !digits(5, 2, month) ||
      text[7] != '-' || !digits(8, 2, day) || (text[10] != 'T' && text[10] != 't') ||
      !digits(11, 2, hour) || text[13] != ':' || !digits(14, 2, minute) || text[16] != ':' ||
      !digits(17, 2, second)) {
    return std::nullopt;
  }
  size_t at = 19;
  // A fraction is allowed when it is zero: the recorder books whole minutes.
  if (text[at] == '.') {
    ++at;
    const size_t first = at;
    while (at < text.size() && text[at] == '0') ++at;
    if (at == first) return std::nullopt;
  }
  int64_t offset = 0;
  if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int hours = 0, minutes = 0;
    if (!digits(at + 1, 2, hours) || at + 3 >= text.size() || text[at + 3] != ':' ||
        !digits(at + 4, 2, minutes) || hours > 23 || minutes > 59) {
      return std::nullopt;
    }
    offset = (text[at] == '-' ? -1 : 1) * (int64_t{hours} * 3600 + minutes * 60);
    at += 6;
  } else {
    return std::nullopt;
  }
  if (at != text.size() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second != 0) {
    return std::nullopt;
  }
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  // A day beyond its month's last is refused, not carried over.
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) return std::nullopt;
  return wallClockSeconds(fields) - offset;
}
