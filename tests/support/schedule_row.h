// Timer rows as the list's query reads them, made without a database.
#pragma once

#include <cstdint>

#include "model/timer.h"

// A tuner timer's row on channel 1 titled "Timer <id>", as the timer write
// stores it: its start read in the zone now in effect, its window widened by
// the margins (minutes before and after).
ScheduleRow scheduleRow(int32_t id, int32_t repeat, int32_t year, int32_t month, int32_t day,
                        int32_t hh, int32_t mm, int32_t minutes, int32_t before, int32_t after);
