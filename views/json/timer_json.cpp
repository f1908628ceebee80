// Timers and the remarks on a written one as JSON objects.
#include "views/json/timer_json.h"

#include <charconv>
#include <cstdlib>
#include <ctime>

#include "model/repeat.h"
#include "model/row_times.h"
#include "platform/time_arith.h"
#include "texts/catalogue.h"
#include "views/html/notices.h"
#include "views/html/options.h"
#include "views/html/timer_texts.h"

namespace {

// The weekdays' names in the interface, Sunday first as the C library
// counts them; lists start on Monday.
constexpr const char* kWeekdays[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

void appendPadded(std::string& text, int64_t value, int width) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value < 0 ? -value : value);
  const int digits = static_cast<int>(result.ptr - buffer);
  if (value < 0) text += '-';
  for (int pad = digits; pad < width; ++pad) text += '0';
  text.append(buffer, static_cast<size_t>(digits));
}

void writeInstant(JsonWriter& json, std::optional<int64_t> instant, const ZoneOffsets& zone) {
  if (instant) {
    json.string(rfc3339(*instant, zone));
  } else {
    json.null();
  }
}

}  // namespace

std::string rfc3339(int64_t instant, const ZoneOffsets& zone) {
  const std::tm local = localFields(instant, zone);
  const int64_t offset = wallClockSeconds(local) - instant;
  std::string text;
  text.reserve(25);
  appendPadded(text, int64_t{local.tm_year} + 1900, 4);
  text += '-';
  appendPadded(text, local.tm_mon + 1, 2);
  text += '-';
  appendPadded(text, local.tm_mday, 2);
  text += 'T';
  appendPadded(text, local.tm_hour, 2);
  text += ':';
  appendPadded(text, local.tm_min, 2);
  text += ':';
  appendPadded(text, local.tm_sec, 2);
  const int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  text += offset < 0 ? '-' : '+';
  appendPadded(text, minutes / 60, 2);
  text += ':';
  appendPadded(text, minutes % 60, 2);
  return text;
}

int32_t apiChannel(const ScheduleRow& row) {
  return row.source == kSourceAV ? 0 : row.channel;
}

std::string channelName(int32_t channel) {
  if (channel == 0) return std::string(textOf(Text::kChannelAV));
  if (const Channel* known = getChannelByNo(channel); known && known->name) return known->name;
  return std::to_string(channel);
}

void writeTimer(JsonWriter& json, const TimerRecord& record, const TimerFacts& facts,
                const ZoneOffsets& zone) {
  const ScheduleRow& row = record.row;
  const RowStart start = readStart(row);
  const RowTimes times = deriveTimes(row, start);
  const int32_t channel = apiChannel(row);
  json.beginObject();
  json.key("id");
  json.number(row.id);
  json.key("title");
  json.string(row.title);
  json.key("channel");
  json.number(channel);
  json.key("channel_name");
  json.string(channelName(channel));
  json.key("start");
  json.string(rfc3339(start.instant, zone));
  json.key("end");
  json.string(rfc3339(start.instant + rowLengthSeconds(row), zone));
  json.key("length_minutes");
  json.number(int64_t{row.hours} * 60 + row.mins);
  json.key("margin_before_minutes");
  json.number(times.prepad);
  json.key("margin_after_minutes");
  json.number(times.postpad);
  json.key("repeat");
  json.number(row.date);
  json.key("repeat_name");
  if (row.date >= 0 && row.date <= kLastPattern) {
    json.string(textOf(web_sched_week[row.date]));
  } else {
    json.string(std::to_string(row.date));
  }
  // A pattern's days; any other code records on its start's day alone.
  json.key("weekdays");
  json.beginArray();
  for (int day = 1; day <= 7; ++day) {
    const int weekday = day % 7;
    if (hasPattern(row.date) ? patternAllows(row.date, weekday) : weekday == start.local.tm_wday) {
      json.string(kWeekdays[weekday]);
    }
  }
  json.endArray();
  json.key("quality");
  json.number(row.quality);
  json.key("target");
  json.number(row.target);
  json.key("enabled");
  json.boolean(row.enable == 0);
  json.key("locked");
  json.boolean(row.lock != 0);
  json.key("source");
  json.string(record.fromFirmware ? "firmware" : "web");
  json.key("next_recording");
  writeInstant(json, facts.nextRecording, zone);
  json.key("overlaps");
  json.beginArray();
  for (int32_t other : facts.overlaps) json.number(other);
  json.endArray();
  json.key("version");
  json.string(record.version);
  json.endObject();
}

void writeWarnings(JsonWriter& json, const std::vector<ApiWarning>& warnings) {
  static constexpr const char* kCodes[] = {"date-normalised", "in-past", "overlap"};
  json.beginArray();
  for (const ApiWarning& warning : warnings) {
    json.beginObject();
    json.key("code");
    json.string(kCodes[static_cast<int>(warning.code)]);
    json.key("timer");
    json.number(warning.timer);
    json.key("detail");
    json.string(warning.detail);
    json.endObject();
  }
  json.endArray();
}

std::string overlapWarning(std::string_view otherTitle, int64_t moment) {
  return textWith(Text::kSavedOverlap, {otherTitle, momentLabel(moment)});
}

std::string_view refusalDetail(EntryRefusal refusal) {
  return refusalNotice(refusal);
}
