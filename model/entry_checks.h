// Checks of a timer as the form entered it: the bounds that refuse a write and the form kept as
// entered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/entry_refusal.h"
#include "model/timer.h"

// Why margins (in minutes) may not be written, to a timer or as the
// defaults, or none when they may.
std::optional<EntryRefusal> marginRefusal(int32_t prepadMinutes, int32_t postpadMinutes);
// Why the form's timer (margins in minutes, length as sent) may not be
// written, or none when it may. The bounds also hold for the padding
// defaults. Computed in 64 bits, so no entry can wrap past them.
std::optional<EntryRefusal> entryRefusal(int32_t prepadMinutes, int32_t postpadMinutes,
                                         int32_t hours, int32_t mins);
// kBeyondClock when the timer that a write of the form books (its first
// start after any move of its pattern) starts or ends, margins included, at
// or past 2038-01-19 03:14:07 UTC, where a 32-bit time value ends; else none.
std::optional<EntryRefusal> clockRefusal(const TimerValues& values);
// Why a timer may not be written as entered, or none: its margins and length
// (entryRefusal), then its title (acceptTitle, which may take the stored
// bytes into values.title; stored is none for a new timer), then the end of
// the clock (clockRefusal). Both the page's form and the JSON interface
// write through these checks.
std::optional<EntryRefusal> timerEntryRefusal(TimerValues& values, int32_t prepadMinutes,
                                              int32_t postpadMinutes,
                                              const std::optional<std::string>& stored);
// The form as the user entered it, for the page that refuses it (id 0 for a
// new timer).
TimerForm enteredForm(int32_t id, const TimerValues& values, int32_t prepadMinutes,
                      int32_t postpadMinutes);
