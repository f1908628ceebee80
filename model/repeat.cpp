// One table of the days each repeat pattern records on.
#include "model/repeat.h"

#include <cstdint>

namespace {

// Weekday bits (bit 0 Sunday ... bit 6 Saturday) of the codes 1-11.
constexpr uint8_t kPatternDays[] = {
    0x7F,                                      // 1 Everyday
    0x3E,                                      // 2 Mon-Fri
    0x7E,                                      // 3 Mon-Sat
    0x41,                                      // 4 Every Weekend
    0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40,  // 5 Sun ... 11 Sat
};
static_assert(sizeof kPatternDays == kLastPattern - kFirstPattern + 1);

}  // namespace

bool hasPattern(int32_t repeat) {
  return repeat >= kFirstPattern && repeat <= kLastPattern;
}

bool patternAllows(int32_t repeat, int weekday) {
  return hasPattern(repeat) && weekday >= 0 && weekday < 7 &&
         (kPatternDays[repeat - kFirstPattern] >> weekday & 1) != 0;
}

int32_t targetWeekday(int32_t repeat, int32_t weekday) {
  if (repeat >= kFirstWeekdayCode) return repeat - kFirstWeekdayCode;
  if (!hasPattern(repeat) || patternAllows(repeat, weekday)) return -1;
  for (int32_t ahead = 1; ahead < 7; ++ahead) {
    const int32_t day = (weekday + ahead) % 7;
    if (patternAllows(repeat, day)) return day;
  }
  return -1;
}
