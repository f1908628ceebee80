// The JSON interface's answers: timers, warnings and problems as JSON text,
// every text from the catalogue.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/entry_refusal.h"
#include "model/row_times.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "quib/json.h"

// What the interface tells of a timer beyond its stored row.
struct TimerFacts {
  RowStart start;                        // its start columns read as local time
  std::optional<int64_t> nextRecording;  // when its next recording begins, none when none
  std::vector<int32_t> overlaps;         // the ids of every timer it overlaps
  std::string_view channelName;          // its channel\'s name (channelName)
};

// An RFC 3339 local time with its offset ("2031-03-14T20:15:00+01:00").
std::string rfc3339(int64_t instant, const ZoneOffsets& zone);
// The same written into text, which the view returned points into: a list
// writes thousands of them.
struct Rfc3339Text {
  char characters[48];
};
std::string_view rfc3339Text(int64_t instant, const ZoneOffsets& zone, Rfc3339Text& text);
// The name of a channel: "AV" for 0, the channel file's name, or the number.
std::string channelName(int32_t channel);
// The channel of a row as the interface numbers it: 0 for the AV input.
int32_t apiChannel(const ScheduleRow& row);

// Writes one timer object.
void writeTimer(JsonWriter& json, const TimerRecord& record, const TimerFacts& facts,
                const ZoneOffsets& zone);

// A remark on a written timer.
enum class WarningCode { kDateNormalised, kInPast, kOverlap };
struct ApiWarning {
  WarningCode code = WarningCode::kInPast;
  int32_t timer = 0;
  std::string detail;
};
void writeWarnings(JsonWriter& json, const std::vector<ApiWarning>& warnings);
// The detail of an overlap warning, as the page says it but with the title
// as it is: 'It overlaps with News & Weather on Sat 12/12 20:40.'
std::string overlapWarning(std::string_view otherTitle, int64_t moment);
// The detail of a refused entry, as the page says it.
std::string_view refusalDetail(EntryRefusal refusal);
