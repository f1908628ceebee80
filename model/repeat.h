// The firmware's repeat codes (the timer table's `date` column) and what each
// allows: 0 "Once", 1 every day, 2 Monday to Friday, 3 Monday to Saturday, 4
// the weekend, 5-11 one weekday from Sunday to Saturday. Any other code is
// the firmware's own and records its first window only.
#pragma once

#include <cstdint>

constexpr int32_t kRepeatOnce = 0;
constexpr int32_t kFirstPattern = 1;      // "Everyday"
constexpr int32_t kLastPattern = 11;      // "Sat"
constexpr int32_t kFirstWeekdayCode = 5;  // "Sun": codes 5-11 are the single weekdays

// True for the codes that name a pattern of days (1-11).
bool hasPattern(int32_t repeat);
// Whether a pattern records on a day with this weekday (0 = Sunday); false
// for a code that names no pattern.
bool patternAllows(int32_t repeat, int weekday);
// The weekday that a write moves a first start on weekday to, or -1 when it
// stays: a pattern's first allowed day on or after it; a single weekday's
// own day; for a code beyond Saturday, that code less 5 (days ahead of
// Sunday, as the firmware reads it).
int32_t targetWeekday(int32_t repeat, int32_t weekday);
