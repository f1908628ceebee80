// The timers as resources: the list, one timer, its create, update and
// delete, and the group actions on one timer or on a list of them. Every
// write runs the page's checks and statements in one transaction.
#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/api_call.h"
#include "model/entry_checks.h"
#include "model/occurrences.h"
#include "model/overlaps.h"
#include "model/repeat.h"
#include "model/row_times.h"
#include "platform/local_time.h"
#include "platform/time_arith.h"
#include "quib/response.h"
#include "store/group_actions.h"
#include "store/padding_defaults.h"
#include "store/store_statements.h"
#include "store/timer_db.h"
#include "store/timer_rows.h"
#include "store/timer_write.h"
#include "texts/catalogue.h"
#include "views/html/entry_remarks.h"
#include "views/html/notices.h"
#include "views/json/timer_json.h"

namespace {

// The names a timer's answer has that a write takes and ignores, so that a
// client may send back what it read.
const std::vector<std::string_view> kReadOnlyFields = {"id",          "channel_name",   "end",
                                                       "repeat_name", "weekdays",       "locked",
                                                       "source",      "next_recording", "overlaps"};
const std::vector<std::string_view> kWritableFields = {"title",
                                                       "channel",
                                                       "start",
                                                       "length_minutes",
                                                       "margin_before_minutes",
                                                       "margin_after_minutes",
                                                       "repeat",
                                                       "quality",
                                                       "target",
                                                       "enabled"};

// The longest recording the bounds let through, in minutes; margins count
// against the day as the page's checks say.
constexpr int64_t kMaxLengthMinutes = 24 * 60;
constexpr int64_t kMaxMarginMinutes = 12 * 60;

// The longest span over which the zone's offsets are read ahead.
constexpr int64_t kZoneReadSpan = 3 * 366 * kSecondsPerDay;

// Every timer's facts at the request's now: when it records next, whom it
// overlaps.
struct TimerTable {
  std::vector<TimerRecord> records;
  std::vector<TimerSchedule> schedules;
  std::vector<TimerFacts> facts;
  ZoneOffsets zone;
  std::map<int32_t, std::string> channelNames;  // what the facts' names point into
};

TimerTable readTable() {
  TimerTable table;
  table.records = readTimerRecords();
  const int64_t now = requestNow();
  table.facts.resize(table.records.size());
  // The zone's offsets are read once over the span that the timers' times
  // and the overlap checks cover, when it is not years long; every time of
  // the answer is then written without the C library.
  int64_t low = now - kSecondsPerDay, high = now + kOccurrenceHorizon + 2 * kSecondsPerDay;
  for (size_t i = 0; i < table.records.size(); ++i) {
    const RowStart start = readStart(table.records[i].row);
    table.facts[i].start = start;
    low = std::min(low, start.instant - kSecondsPerDay);
    high = std::max(high, start.instant + 2 * kSecondsPerDay);
  }
  table.zone = high - low <= kZoneReadSpan ? zoneOffsets(low, high) : occurrenceZone(now);
  table.schedules.reserve(table.records.size());
  for (const TimerRecord& record : table.records) table.schedules.push_back(timingOf(record.row));
  const TimerWindows windows = allTimerWindows(table.schedules, now, table.zone);
  const std::vector<TimerOverlaps> overlaps =
      findEveryOverlap(table.schedules, windows, kRecorderTuners, SIZE_MAX);
  for (size_t i = 0; i < table.records.size(); ++i) {
    const size_t first = windows.first[i];
    const RecordingWindow* window =
        first < windows.first[i + 1] ? &windows.windows[first] : nullptr;
    const NextRecording next = nextRecording(table.schedules[i], window, now, table.zone);
    if (next.kind == NextRecording::kAt || next.kind == NextRecording::kNow) {
      table.facts[i].nextRecording = next.start;
    }
    // Each channel's name is looked up once for the list.
    const int32_t channel = apiChannel(table.records[i].row);
    auto name = table.channelNames.find(channel);
    if (name == table.channelNames.end()) {
      name = table.channelNames.emplace(channel, channelName(channel)).first;
    }
    table.facts[i].channelName = name->second;
    for (const TimerOverlap& overlap : overlaps[i].named) {
      table.facts[i].overlaps.push_back(table.records[overlap.other].row.id);
    }
  }
  return table;
}

std::optional<size_t> indexOf(const TimerTable& table, int32_t id) {
  for (size_t i = 0; i < table.records.size(); ++i) {
    if (table.records[i].row.id == id) return i;
  }
  return std::nullopt;
}

[[noreturn]] void noTimer() {
  failCall(Problem::kNotFound, {std::string(textOf(Text::kApiNoTimer))});
}

std::string etagLine(const TimerRecord& record) {
  return "ETag: \"" + record.version + "\"\n";
}

// The remarks on a written timer: how its date was read, whether it is past,
// its first overlap.
std::vector<ApiWarning> warningsOf(const TimerTable& table, size_t index,
                                   const std::string& normalised) {
  std::vector<ApiWarning> warnings;
  const int32_t id = table.records[index].row.id;
  if (!normalised.empty()) warnings.push_back({WarningCode::kDateNormalised, id, normalised});
  const TimerSchedule& timer = table.schedules[index];
  const int64_t now = requestNow();
  if (timer.repeat == kRepeatOnce && windowEnded(timer, now)) {
    warnings.push_back({WarningCode::kInPast, id, std::string(textOf(Text::kInThePast))});
  }
  if (const std::optional<TimerOverlap> overlap = findOverlaps(table.schedules, now)[index]) {
    warnings.push_back({WarningCode::kOverlap, id,
                        overlapWarning(table.records[overlap->other].row.title, overlap->moment)});
  }
  return warnings;
}

// The answer of a write that leaves these timers: the timers, then the
// warnings.
std::string writtenAnswer(const TimerTable& table, const std::vector<size_t>& written,
                          const std::vector<ApiWarning>& warnings, bool single) {
  std::string body;
  JsonWriter json(body);
  json.beginObject();
  json.key(single ? "timer" : "items");
  if (!single) json.beginArray();
  for (size_t index : written) {
    writeTimer(json, table.records[index], table.facts[index], table.zone);
  }
  if (!single) json.endArray();
  json.key("warnings");
  writeWarnings(json, warnings);
  json.endObject();
  return body;
}

// The timer a body describes, over base: each member given replaces base's.
// Margins come in minutes and go into values in seconds.
struct Entry {
  TimerValues values;
  int32_t prepadMinutes = 0;
  int32_t postpadMinutes = 0;
};

void applyBody(const JsonValue& body, Entry& entry) {
  TimerValues& values = entry.values;
  if (std::optional<std::string> title = stringField(body, "title")) {
    // The firmware's column is C text: a NUL would cut the title short.
    if (title->find('\0') != std::string::npos) {
      badValue("title", std::string(refusalDetail(EntryRefusal::kTitleNotUtf8)));
    }
    values.title = *title;
  }
  if (std::optional<int32_t> channel = integerField(body, "channel", 0, INT16_MAX)) {
    values.channel = *channel;
  }
  if (std::optional<std::string> start = stringField(body, "start")) {
    const std::optional<int64_t> instant = readRfc3339(*start);
    if (!instant) badValue("start", textWith(Text::kApiNotTime, {"start"}));
    // The recorder books local wall-clock fields: those of the instant.
    const std::tm local = localFields(*instant, ZoneOffsets{});
    values.year = local.tm_year + 1900;
    values.month = local.tm_mon + 1;
    values.day = local.tm_mday;
    values.hh = local.tm_hour;
    values.mm = local.tm_min;
  }
  if (std::optional<int32_t> length = integerField(body, "length_minutes", 0, kMaxLengthMinutes)) {
    values.hours = *length / 60;
    values.mins = *length % 60;
  }
  if (std::optional<int32_t> before =
          integerField(body, "margin_before_minutes", -kMaxMarginMinutes, kMaxMarginMinutes)) {
    entry.prepadMinutes = *before;
  }
  if (std::optional<int32_t> after =
          integerField(body, "margin_after_minutes", -kMaxMarginMinutes, kMaxMarginMinutes)) {
    entry.postpadMinutes = *after;
  }
  if (std::optional<int32_t> repeat = integerField(body, "repeat", INT32_MIN, INT32_MAX)) {
    values.repeat = *repeat;
  }
  if (std::optional<int32_t> quality = integerField(body, "quality", INT32_MIN, INT32_MAX)) {
    values.quality = *quality;
  }
  if (std::optional<int32_t> target = integerField(body, "target", INT32_MIN, INT32_MAX)) {
    values.target = *target;
  }
  if (std::optional<bool> enabled = booleanField(body, "enabled")) values.disabled = !*enabled;
  values.prepad = entry.prepadMinutes * 60;
  values.postpad = entry.postpadMinutes * 60;
}

// The member that a refusal concerns.
std::string_view refusedField(EntryRefusal refusal, const Entry& entry) {
  switch (refusal) {
    case EntryRefusal::kMarginOutOfRange:
      return entry.prepadMinutes < -kMaxMarginMinutes || entry.prepadMinutes > kMaxMarginMinutes
                 ? "margin_before_minutes"
                 : "margin_after_minutes";
    case EntryRefusal::kBeyondClock:
      return "start";
    case EntryRefusal::kTitleNotUtf8:
    case EntryRefusal::kTitleTooLong:
      return "title";
    default:
      return "length_minutes";
  }
}

// Checks and writes the entry, created or over the timer id; answers with
// the timer written.
void writeEntry(Entry& entry, std::optional<int32_t> id,
                const std::optional<std::string>& storedTitle) {
  if (std::optional<EntryRefusal> refusal =
          timerEntryRefusal(entry.values, entry.prepadMinutes, entry.postpadMinutes, storedTitle)) {
    badValue(refusedField(*refusal, entry), std::string(refusalDetail(*refusal)));
  }
  timer_store::StoreTransaction transaction(FailureSite::kEntryWriteBegin,
                                            FailureSite::kEntryWriteCommit);
  int32_t written = 0;
  if (id) {
    updateTimer(*id, entry.values);
    written = *id;
  } else {
    ::createTimer(entry.values);
    written = static_cast<int32_t>(sqlite3_last_insert_rowid(web_sched_db));
  }
  const TimerTable table = readTable();
  const std::optional<size_t> index = indexOf(table, written);
  if (!index) noTimer();
  const std::string body = writtenAnswer(
      table, {*index}, warningsOf(table, *index, normalisedRemark(entry.values)), true);
  transaction.commit();
  const TimerRecord& record = table.records[*index];
  std::string headers = etagLine(record);
  if (!id) {
    answerJson("201 Created", body,
               headers + "Location: " + std::string(apiBase()) + "/timers/" +
                   std::to_string(written) + "\n");
  } else {
    answerJson("200 OK", body, headers);
  }
}

// The values of a stored row as a write takes them.
Entry storedEntry(const TimerRecord& record) {
  const ScheduleRow& row = record.row;
  const RowTimes times = deriveTimes(row, readStart(row));
  Entry entry;
  TimerValues& values = entry.values;
  values.channel = apiChannel(row);
  values.day = row.day;
  values.month = row.month;
  values.year = row.year;
  values.hh = row.hh;
  values.mm = row.mm;
  values.hours = row.hours;
  values.mins = row.mins;
  values.repeat = row.date;
  values.title = row.title;
  values.quality = row.quality;
  values.target = row.target;
  values.disabled = row.enable;
  entry.prepadMinutes = times.prepad;
  entry.postpadMinutes = times.postpad;
  return entry;
}

// The ids a group action names: the path's one, or the body's list.
std::vector<int32_t> actionIds(const ApiCall& call) {
  if (call.id != 0) {
    checkFields(call.body, {});
    return {call.id};
  }
  checkFields(call.body, {"ids"});
  const JsonValue* list = call.body.find("ids");
  if (list == nullptr) missingField("ids");
  std::vector<int32_t> ids;
  if (list->type != JsonValue::Type::kArray || list->items.empty()) {
    badValue("ids", std::string(textOf(Text::kApiNotIds)));
  }
  for (const JsonValue& item : list->items) {
    const std::optional<int64_t> id = item.integer();
    if (!id || *id < 1 || *id > INT32_MAX) badValue("ids", std::string(textOf(Text::kApiNotIds)));
    ids.push_back(static_cast<int32_t>(*id));
  }
  return ids;
}

// Runs a group action on the ids, all of them or none: when one names no
// timer, nothing is written.
void runGroup(ApiCall& call, GroupAction action) {
  const std::vector<int32_t> ids = actionIds(call);
  timer_store::StoreTransaction transaction(FailureSite::kGroupBegin, FailureSite::kGroupCommit);
  const std::vector<TimerRecord> before = readTimerRecords();
  ProblemDetails missing{std::string(textOf(Text::kApiNoTimers))};
  int32_t highest = 0;
  for (const TimerRecord& record : before) highest = std::max(highest, record.row.id);
  for (int32_t id : ids) {
    const bool found = std::any_of(before.begin(), before.end(),
                                   [id](const TimerRecord& record) { return record.row.id == id; });
    if (!found) missing.ids.push_back(id);
  }
  if (!missing.ids.empty()) {
    if (call.id != 0) noTimer();
    failCall(Problem::kNotFound, missing);
  }
  std::vector<std::string> texts;
  for (int32_t id : ids) texts.push_back(std::to_string(id));
  KeyList keys(texts.begin(), texts.end());
  switch (action) {
    case GroupAction::kDelete:
      deleteTimers(keys);
      break;
    case GroupAction::kEnable:
      enableTimers(keys);
      break;
    case GroupAction::kDisable:
      disableTimers(keys);
      break;
    case GroupAction::kClone:
      cloneTimers(keys);
      break;
  }
  std::string body;
  if (action == GroupAction::kDelete) {
    JsonWriter json(body);
    json.beginObject();
    json.key("deleted");
    json.beginArray();
    for (int32_t id : ids) json.number(id);
    json.endArray();
    json.endObject();
    transaction.commit();
    answerJson("200 OK", body);
    return;
  }
  const TimerTable table = readTable();
  std::vector<size_t> written;
  std::vector<ApiWarning> warnings;
  for (size_t i = 0; i < table.records.size(); ++i) {
    const int32_t id = table.records[i].row.id;
    const bool named = action == GroupAction::kClone
                           ? id > highest
                           : std::find(ids.begin(), ids.end(), id) != ids.end();
    if (!named) continue;
    written.push_back(i);
    const std::vector<ApiWarning> own = warningsOf(table, i, "");
    warnings.insert(warnings.end(), own.begin(), own.end());
  }
  body = writtenAnswer(table, written, warnings, false);
  transaction.commit();
  answerJson(action == GroupAction::kClone ? "201 Created" : "200 OK", body);
}

}  // namespace

// The whole list, however long: written straight into the response, which
// goes out in blocks once the reads are done, so that a long list is never
// held whole in memory.
void listTimers(ApiCall&) {
  beginTimerRead(FailureSite::kRowsPrepare);
  const TimerTable table = readTable();
  endTimerRead(FailureSite::kRowsReset);
  answerJson("200 OK", "");
  quibStreamResponse();
  std::string& out = quibOutBuffer();
  JsonWriter json(out);
  json.beginObject();
  json.key("items");
  json.beginArray();
  for (size_t i = 0; i < table.records.size(); ++i) {
    writeTimer(json, table.records[i], table.facts[i], table.zone);
    quibOutAppended();
  }
  json.endArray();
  json.endObject();
  quibOutAppended();
}

void readTimer(ApiCall& call) {
  beginTimerRead(FailureSite::kRowsPrepare);
  const TimerTable table = readTable();
  endTimerRead(FailureSite::kRowsReset);
  const std::optional<size_t> index = indexOf(table, call.id);
  if (!index) noTimer();
  std::string body;
  JsonWriter json(body);
  writeTimer(json, table.records[*index], table.facts[*index], table.zone);
  answerJson("200 OK", body, etagLine(table.records[*index]));
}

void createTimer(ApiCall& call) {
  checkFields(call.body, kWritableFields, kReadOnlyFields);
  for (std::string_view required : {"title", "channel", "start", "length_minutes"}) {
    if (call.body.find(required) == nullptr) missingField(required);
  }
  // As the form: the margins default to the stored defaults.
  Entry entry;
  const PaddingSettings& settings = getSettings();
  entry.prepadMinutes = settings.prepad / 60;
  entry.postpadMinutes = settings.postpad / 60;
  applyBody(call.body, entry);
  writeEntry(entry, std::nullopt, std::nullopt);
}

void updateTimerResource(ApiCall& call) {
  std::vector<std::string_view> taken = kWritableFields;
  taken.push_back("version");
  checkFields(call.body, taken, kReadOnlyFields);
  std::optional<std::string> version = call.ifMatch;
  if (!version) version = stringField(call.body, "version");
  // The check and the write hold the database once: no other write comes
  // between the version compared and the row written.
  timer_store::StoreTransaction transaction(FailureSite::kEntryWriteBegin,
                                            FailureSite::kEntryWriteCommit);
  const std::vector<TimerRecord> stored = readTimerRecords(call.id);
  if (stored.empty()) noTimer();
  if (!version) {
    failCall(Problem::kVersionRequired, {std::string(textOf(Text::kApiVersionRequired))});
  }
  if (*version != stored.front().version) {
    failCall(Problem::kVersionMismatch, {std::string(textOf(Text::kApiVersionMismatch))});
  }
  Entry entry = storedEntry(stored.front());
  applyBody(call.body, entry);
  writeEntry(entry, call.id, timerTitle(call.id));
  transaction.commit();
}

void deleteTimerResource(ApiCall& call) {
  runGroup(call, GroupAction::kDelete);
}
void enableTimerResource(ApiCall& call) {
  runGroup(call, GroupAction::kEnable);
}
void disableTimerResource(ApiCall& call) {
  runGroup(call, GroupAction::kDisable);
}
void cloneTimerResource(ApiCall& call) {
  runGroup(call, GroupAction::kClone);
}
void deleteTimerBatch(ApiCall& call) {
  runGroup(call, GroupAction::kDelete);
}
void enableTimerBatch(ApiCall& call) {
  runGroup(call, GroupAction::kEnable);
}
void disableTimerBatch(ApiCall& call) {
  runGroup(call, GroupAction::kDisable);
}
void cloneTimerBatch(ApiCall& call) {
  runGroup(call, GroupAction::kClone);
}

void listOverlaps(ApiCall&) {
  beginTimerRead(FailureSite::kRowsPrepare);
  const TimerTable table = readTable();
  endTimerRead(FailureSite::kRowsReset);
  std::string body;
  JsonWriter json(body);
  json.beginObject();
  json.key("items");
  json.beginArray();
  for (size_t i = 0; i < table.records.size(); ++i) {
    if (table.facts[i].overlaps.empty()) continue;
    json.beginObject();
    json.key("id");
    json.number(table.records[i].row.id);
    json.key("overlaps");
    json.beginArray();
    for (int32_t other : table.facts[i].overlaps) json.number(other);
    json.endArray();
    json.endObject();
  }
  json.endArray();
  json.endObject();
  answerJson("200 OK", body);
}
