// When a write books a timer: the entered start read as local time and moved onto a day its repeat
// pattern allows.
#pragma once

#include <cstdint>
#include <ctime>

#include "model/timer.h"

// The channel as the firmware's signed 16-bit channel number.
int32_t channelNumber(int32_t channel);
// The form's start fields as entered (month 0-based, year from 1900, out of
// range as sent), before they are read as local time.
std::tm enteredStartFields(const TimerValues& values);

// Moves the first start of a repeating timer onto a day its pattern allows,
// in whole local days (the time of day stays across a daylight-saving
// change); leaves the local fields of the returned start in brokenDown.
int32_t adjustBookTime(int32_t start, int32_t repeat, std::tm& brokenDown);
// The start that a write of the form books, unwrapped: the entered fields
// read as local time and, for a pattern of days, moved as adjustBookTime
// moves it. start gets its local fields.
int64_t bookedStart(const TimerValues& values, std::tm& start);
// Seconds to subtract from a time on weekday to reach the first
// targetWeekday on or after it (0 = Sunday).
int32_t adjustSeconds(int32_t weekday, int32_t targetWeekday);
