// Reading the timer table: every row in one pass of one query, for the list
// and for the occurrence checks of an entry.
#include "store/timer_rows.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/timer.h"
#include "model/title_text.h"
#include "quib/sqlite_handle.h"
#include "store/timer_db.h"

namespace {

constexpr const char* kRowQuery =
    "select source, channel, date, date_year, date_month, date_day, start_hour, "
    "start_minute,length_hour, length_minute, ID, timestamp_start, timestamp_offset, enable, "
    "quality, target,lock, user_string from timer_record_table";

// The list's columns, then what only the interface's own reading shows: the
// columns the interface writes as constants and the firmware fills.
constexpr const char* kRecordQuery =
    "select source, channel, date, date_year, date_month, date_day, start_hour, "
    "start_minute,length_hour, length_minute, ID, timestamp_start, timestamp_offset, enable, "
    "quality, target,lock, user_string, schedule_type, event_id, user_id, datestamp, SAP from "
    "timer_record_table";
constexpr const char* kOneRecordQuery =
    "select source, channel, date, date_year, date_month, date_day, start_hour, "
    "start_minute,length_hour, length_minute, ID, timestamp_start, timestamp_offset, enable, "
    "quality, target,lock, user_string, schedule_type, event_id, user_id, datestamp, SAP from "
    "timer_record_table where ID = ?1";
constexpr int kRecordColumns = 23;
// The first column beyond the list's.
constexpr int kRecordFirstExtra = 18;

ScheduleRow readRow(sqlite3_stmt* statement) {
  ScheduleRow row;
  row.source = sqlite3_column_int(statement, 0);
  row.channel = static_cast<int16_t>(sqlite3_column_int(statement, 1));
  row.date = sqlite3_column_int(statement, 2);
  row.year = sqlite3_column_int(statement, 3);
  row.month = sqlite3_column_int(statement, 4);
  row.day = sqlite3_column_int(statement, 5);
  row.hh = sqlite3_column_int(statement, 6);
  row.mm = sqlite3_column_int(statement, 7);
  row.hours = sqlite3_column_int(statement, 8);
  row.mins = sqlite3_column_int(statement, 9);
  row.id = sqlite3_column_int(statement, 10);
  row.timestampStart = sqlite3_column_int64(statement, 11);
  row.timestampOffset = sqlite3_column_int(statement, 12);
  row.enable = sqlite3_column_int(statement, 13);
  row.quality = sqlite3_column_int(statement, 14);
  row.target = sqlite3_column_int(statement, 15);
  row.lock = sqlite3_column_int(statement, 16);
  const unsigned char* title = sqlite3_column_text(statement, 17);
  // Shown readably wherever the row goes: its cells, the form, the notices.
  if (title != nullptr) {
    row.title =
        readableTitle(std::string_view(reinterpret_cast<const char*>(title),
                                       static_cast<size_t>(sqlite3_column_bytes(statement, 17))));
  }
  return row;
}

// Call sites of one reading of the table.
struct ReadSites {
  FailureSite prepare, step, reset;
};

// Every row of the table in database order, read in one pass: the statement
// is reset and finalised before the caller does anything with the rows, so
// the read lock on the firmware's table lasts only as long as the reading.
std::vector<ScheduleRow> readRows(const ReadSites& sites) {
  std::vector<ScheduleRow> rows;
  sqlite3_stmt* prepared = nullptr;
  const int rc = sqlite3_prepare_v2(web_sched_db, kRowQuery, -1, &prepared, nullptr);
  SqliteStatement statement(prepared);
  exitIfError(rc, sites.prepare);
  for (;;) {
    const int result = sqlite3_step(statement.get());
    if (result == SQLITE_DONE) break;
    if (result != SQLITE_ROW) exitIfError(result, sites.step);
    rows.push_back(readRow(statement.get()));
  }
  exitIfError(sqlite3_reset(statement.get()), sites.reset);
  return rows;
}

// FNV-1a, 64 bits: the hash of a row's version.
struct RowHash {
  uint64_t value = 14695981039346656037u;
  void add(const unsigned char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      value ^= bytes[i];
      value *= 1099511628211u;
    }
  }
  void add(int64_t number) {
    unsigned char bytes[8];
    for (int b = 0; b < 8; ++b) {
      bytes[b] = static_cast<unsigned char>(static_cast<uint64_t>(number) >> (8 * b));
    }
    add(bytes, sizeof bytes);
  }
};

// The version of the row the statement stands on, read into row already: a
// hash of every column it reads, the title as stored (not as shown), so that
// no change of any of them keeps the version. Not a secret: it only has to
// change when the row does, and a list of a thousand rows hashes them all.
std::string rowVersion(sqlite3_stmt* statement, const ScheduleRow& row) {
  RowHash hash;
  const int64_t numbers[] = {row.source,
                             row.channel,
                             row.date,
                             row.year,
                             row.month,
                             row.day,
                             row.hh,
                             row.mm,
                             row.hours,
                             row.mins,
                             row.id,
                             row.timestampStart,
                             row.timestampOffset,
                             row.enable,
                             row.quality,
                             row.target,
                             row.lock};
  for (int64_t number : numbers) hash.add(number);
  for (int column = kRecordFirstExtra; column < kRecordColumns; ++column) {
    hash.add(sqlite3_column_int64(statement, column));
  }
  const auto* title = static_cast<const unsigned char*>(sqlite3_column_blob(statement, 17));
  const int size = sqlite3_column_bytes(statement, 17);
  hash.add(size);
  if (title != nullptr) hash.add(title, static_cast<size_t>(size));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string version(16, '0');
  uint64_t value = hash.value;
  for (int digit = 15; digit >= 0; --digit, value >>= 4) version[digit] = kHex[value & 15];
  return version;
}

// The interface writes schedule type 0, event -1 and user 0; a row with any
// other value there is the firmware's own (a guide event, a series).
bool writtenByFirmware(sqlite3_stmt* statement) {
  return sqlite3_column_int(statement, 18) != 0 || sqlite3_column_int(statement, 19) != -1 ||
         sqlite3_column_int(statement, 20) != 0;
}

}  // namespace

std::vector<TimerRecord> readTimerRecords(std::optional<int32_t> id) {
  std::vector<TimerRecord> records;
  sqlite3_stmt* prepared = nullptr;
  const int rc =
      sqlite3_prepare_v2(web_sched_db, id ? kOneRecordQuery : kRecordQuery, -1, &prepared, nullptr);
  SqliteStatement statement(prepared);
  exitIfError(rc, FailureSite::kRowsPrepare);
  if (id) exitIfError(sqlite3_bind_int(statement.get(), 1, *id), FailureSite::kRowsPrepare);
  for (;;) {
    const int result = sqlite3_step(statement.get());
    if (result == SQLITE_DONE) break;
    if (result != SQLITE_ROW) exitIfError(result, FailureSite::kRowsStep);
    TimerRecord record;
    record.row = readRow(statement.get());
    record.version = rowVersion(statement.get(), record.row);
    record.fromFirmware = writtenByFirmware(statement.get());
    records.push_back(std::move(record));
  }
  exitIfError(sqlite3_reset(statement.get()), FailureSite::kRowsReset);
  return records;
}

std::vector<ScheduleRow> readTimerRows() {
  return readRows({FailureSite::kRowsPrepare, FailureSite::kRowsStep, FailureSite::kRowsReset});
}

std::vector<TimerSchedule> loadTimerSchedules() {
  const std::vector<ScheduleRow> rows = readRows(
      {FailureSite::kSchedulesPrepare, FailureSite::kSchedulesStep, FailureSite::kSchedulesReset});
  std::vector<TimerSchedule> timers;
  timers.reserve(rows.size());
  for (const ScheduleRow& row : rows) timers.push_back(scheduleOf(row));
  return timers;
}
