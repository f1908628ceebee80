// Reading the timer table: every row for the list, every timer for the occurrence checks.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/timer.h"

// Every row of the timer table in database order, read in one pass of the
// list's query; a failed read ends the request through exitIfError.
std::vector<ScheduleRow> readTimerRows();

// Every row of the table in database order with its version and origin, or
// only the row with this id; a failed read ends the request.
std::vector<TimerRecord> readTimerRecords(std::optional<int32_t> id = std::nullopt);

// Every timer of the table in database order, read by the table's own
// query; a failed read ends the request through exitIfError.
std::vector<TimerSchedule> loadTimerSchedules();
