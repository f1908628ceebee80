// Remarks on a saved entry: how its date was read, whether it lies in the past, what it overlaps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/timer.h"

// '31/2/2027 was read as 3/3/2027.' when the time conversion moved
// the entered date, with the time of day on both sides when that moved
// ('9/12/2026 23:75 was read as 10/12/2026 00:15.'); else "".
std::string normalisedRemark(const TimerValues& values);
// After the write of the timer with this id, over every stored timer (read as
// the list reads them): 'It lies in the past and
// will not record.' when it has no pattern and its window has
// ended, then 'It overlaps with <title> on Tue 9/12 20:00.' naming its
// first overlap (the title HTML-escaped), joined by one space; else "".
std::string scheduleRemarks(const std::vector<TimerSchedule>& timers, int32_t id);
