// The form's date and time pickers: a date ("2027-03-14"), a start and an end
// ("20:15", "21:45"), read into the start fields and the length of a timer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/entry_refusal.h"
#include "model/timer.h"

// The picker values a request sent, URL-decoded; none for a value it did not
// send. A value sent without '=' is present and empty.
struct PickedTimes {
  std::optional<std::string_view> date, start, end;
};

// Reads the picker values that are present over the fields they replace:
// "date" over day, month and year, "start" over hh and mm, "end" over hours
// and mins. A date is YYYY-MM-DD with a month of 1-12 and a day of 1-31 (a
// day past the month's end is read into the next month, as for "day"); a
// start or an end is HH:MM of 00:00-23:59. The end is the first moment at
// that time of day from the start on: before the start, it is on the next
// day (across a daylight-saving change the length is an hour shorter or
// longer); equal to the start, the length is nothing. Both are
// read as local time on the date of the start as sent ("start", or else "hh"
// and "mm"), and the length is the time between them. A malformed value
// leaves its fields as they were and gives the first refusal, in the order
// date, start, end; an end is then not read when its start was malformed.
std::optional<EntryRefusal> applyPickedTimes(const PickedTimes& picked, TimerValues& values);

// "YYYY-MM-DD" for the date picker; empty when year, month or day cannot be
// such a date, which the picker would not show.
std::string pickerDate(int32_t year, int32_t month, int32_t day);
// "HH:MM" of the local time at which the timer's length after its start
// (read as local time) ends: the end picker's value.
std::string pickerEnd(const TimerValues& values);
// "HH:MM" for a time picker: minutes after midnight, taken modulo a day.
std::string pickerTime(int64_t minutes);
