// Creating and updating one timer row.
#pragma once

#include <cstdint>

#include "model/timer.h"

int createTimer(const TimerValues& values);
int updateTimer(int32_t id, const TimerValues& values);
// The one routine behind both: id 0 leaves ":id" unbound.
int execBoundSQL(const char* sql, int32_t id, const TimerValues& values);
