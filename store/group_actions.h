// Group actions on the selected timers: delete, enable, disable and clone, all keys in one
// transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quib/quib.h"

// The selected keys of a request, in request order (none for a bare "key").
using KeyList = std::vector<ParamValue>;

// Runs sql once per key, binding the key to ":id" and, when sourceBase is 0
// or more, sourceBase to ":sourceBase", all keys in one transaction. The
// first failing key ends the request with nothing written. When
// changed is given, the number of rows the statements touched is added to it.
int groupExec(const char* sql, const KeyList& keys, int32_t sourceBase, int32_t* changed = nullptr);
int deleteTimers(const KeyList& keys, int32_t* changed = nullptr);
int enableTimers(const KeyList& keys, int32_t* changed = nullptr);
int disableTimers(const KeyList& keys, int32_t* changed = nullptr);
int cloneTimers(const KeyList& keys, int32_t* changed = nullptr);
// The title of the timer with this id, or none when there is no such timer.
std::optional<std::string> timerTitle(int32_t id);
