// Timers and the remarks on a written one as JSON objects.
#include "views/json/timer_json.h"

#include <algorithm>
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
constexpr int64_t kPowersOfTen[4] = {1, 10, 100, 1000};

constexpr const char* kWeekdays[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

void writeInstant(JsonWriter& json, std::optional<int64_t> instant, const ZoneOffsets& zone) {
  if (instant) {
    Rfc3339Text text;
    json.string(rfc3339Text(*instant, zone, text));
  } else {
    json.null();
  }
}

}  // namespace

std::string rfc3339(int64_t instant, const ZoneOffsets& zone) {
  Rfc3339Text text;
  return std::string(rfc3339Text(instant, zone, text));
}

std::string_view rfc3339Text(int64_t instant, const ZoneOffsets& zone, Rfc3339Text& text) {
  const std::tm local = localFields(instant, zone);
  const int64_t offset = wallClockSeconds(local) - instant;
  const int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  // The year, then "-MM-DDTHH:MM:SS+HH:MM", every field of fixed width.
  std::string_view year;
  char yearDigits[24];
  const int64_t fullYear = int64_t{local.tm_year} + 1900;
  if (fullYear >= 0 && fullYear <= 9999) {
    for (int digit = 3; digit >= 0; --digit) {
      yearDigits[digit] = static_cast<char>('0' + fullYear / kPowersOfTen[3 - digit] % 10);
    }
    year = std::string_view(yearDigits, 4);
  } else {
    // Beyond four digits (a firmware row's nonsense): the number as it is.
    const auto result = std::to_chars(yearDigits, yearDigits + sizeof yearDigits, fullYear);
    year = std::string_view(yearDigits, static_cast<size_t>(result.ptr - yearDigits));
  }
  char* out = text.characters;
  out = std::copy(year.begin(), year.end(), out);
  const auto put = [&out](char separator, int64_t value) {
    *out++ = separator;
    *out++ = static_cast<char>('0' + value / 10 % 10);
    *out++ = static_cast<char>('0' + value % 10);
  };
  put('-', local.tm_mon + 1);
  put('-', local.tm_mday);
  put('T', local.tm_hour);
  put(':', local.tm_min);
  put(':', local.tm_sec);
  put(offset < 0 ? '-' : '+', minutes / 60);
  put(':', minutes % 60);
  return std::string_view(text.characters, static_cast<size_t>(out - text.characters));
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
  const RowStart& start = facts.start;
  const RowTimes times = deriveTimes(row, start, zone);
  const int32_t channel = apiChannel(row);
  json.beginObject();
  json.key("id");
  json.number(row.id);
  json.key("title");
  json.string(row.title);
  json.key("channel");
  json.number(channel);
  json.key("channel_name");
  json.string(facts.channelName);
  json.key("start");
  writeInstant(json, start.instant, zone);
  json.key("end");
  writeInstant(json, start.instant + rowLengthSeconds(row), zone);
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
