// The padding defaults: stored in the settings table, cached per process and
// applied to the firmware's own timer writes by three triggers.
#include "store/padding_defaults.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "platform/time_arith.h"
#include "store/store_statements.h"
#include "store/timer_db.h"

using timer_store::checkOrExit;
using timer_store::prepareOrExit;
using timer_store::stepOrExit;

PaddingSettings webschedSettings;
PaddingSettings* webschedSettingsPtr = nullptr;

namespace {

// The row names, in this order: index 0 is the pre-padding, 1 the post-padding.
const char* const kSettingNames[] = {"prepad", "postpad"};
constexpr int kSettingCount = 2;

const char* const kSelectSettingSql = "select value from settings where name = ?";
const char* const kUpdateSettingSql = "update settings set value=:value where name=:name";
const char* const kCreateSettingsSql = "create table settings (name text, value text)";
const char* const kInsertSettingSql = "insert into settings (name, value) values (:name, :value)";
// The padding triggers that the timer table carries: all three or the
// marker is not written.
const char* const kCountTriggersSql =
    "select count(*) from sqlite_master where type = 'trigger' and lower(tbl_name) = "
    "'timer_record_table' and lower(name) in ('ins_padding', 'upd_prepadding', "
    "'upd_postpadding')";
constexpr int kTriggerCount = 3;

const char* const kDropTriggerSql[] = {
    "drop trigger if exists ins_padding",
    "drop trigger if exists upd_prepadding",
    "drop trigger if exists upd_postpadding",
};

// Names both time columns of every new row, so that the two update triggers
// below run for it.
const char* const kInsertTriggerSql =
    "create trigger ins_padding after insert on timer_record_table begin update "
    "timer_record_table set timestamp_start = new.timestamp_start, timestamp_offset = "
    "new.timestamp_offset\twhere rowid = new.rowid; end";
// A row's start columns (of new or old) read as local time, by the rule the
// program reads them with (readWall in local_time.cpp): w is the columns as a
// UTC date and time, a and b the zone's offsets a day after and a day before;
// w read with a when the zone has offset a at that instant, else w read with
// b. Only SQLite's 'localtime' modifier is used, which gives every instant
// its one local time in every SQLite release. Its 'utc' modifier (local to
// UTC) is not: in the hour that a clock change skips or repeats it picks
// either reading, depending on the zone and on the release, and the
// firmware runs these triggers with a SQLite of its own.
std::string startSecondsSql(const char* row) {
  const std::string r = row;
  auto offsetAt = [](const std::string& t) {
    return "(strftime('%%s', " + t + ", 'unixepoch', 'localtime') - (" + t + "))";
  };
  return "(select case when " + offsetAt("w - a") +
         " = a then w - a else w - b end from (select w, " + offsetAt("w + 86400") + " as a, " +
         offsetAt("w - 86400") + " as b from (select cast(strftime('%%s', '0000-01-01', " + r +
         "date_year || ' years', (" + r + "date_month - 1) || ' months', (" + r +
         "date_day - 1) || ' days', " + r + "start_hour || ' hours', " + r +
         "start_minute || ' minutes') as integer) as w)))";
}

// "%d" is the pre-padding default. A firmware write that moves the start
// keeps the row's distance between start and timestamp_start; one that
// leaves the start gets the default; a marked write only loses its marker.
std::string prepaddingTriggerTemplate() {
  const std::string start = startSecondsSql("new."), oldStart = startSecondsSql("old.");
  return "create trigger upd_prepadding after update of timestamp_start on timer_record_table "
         "begin update timer_record_table set\ttimestamp_start = " +
         start + " - \t" + oldStart +
         " + old.timestamp_start\twhere rowid = old.rowid and new.source < 100 and "
         "(date_year <> old.date_year or date_month <> old.date_month or date_day <> "
         "old.date_day or start_hour <> old.start_hour or start_minute <> old.start_minute); "
         "update timer_record_table set\tsource = new.source - 100\twhere rowid = old.rowid "
         "and new.source > 100; update timer_record_table set\ttimestamp_start = " +
         start +
         " - %d\twhere rowid = old.rowid and new.source < 100 and date_year = old.date_year and "
         "date_month = old.date_month and date_day = old.date_day and start_hour = "
         "old.start_hour and start_minute = old.start_minute;end";
}

// "%d" is the sum of both defaults. A firmware write to a row without
// margins gives it the defaults; a row with margins keeps them; a marked
// write only loses its marker.
const char* const kPostpaddingTriggerTemplate =
    "create trigger upd_postpadding after update of timestamp_offset on timer_record_table "
    "begin update timer_record_table set\tsource = new.source - 100\twhere rowid = old.rowid "
    "and new.source > 100; update timer_record_table set\ttimestamp_offset = length_hour * "
    "3600 + length_minute * 60 + %d\twhere rowid = old.rowid and new.source < 100 and "
    "old.timestamp_offset = old.length_hour * 3600 + old.length_minute * 60; update "
    "timer_record_table set\ttimestamp_offset = (length_hour - old.length_hour) * 3600 + "
    "(length_minute - old.length_minute) * 60 + old.timestamp_offset\twhere rowid = old.rowid "
    "and new.source < 100 and old.timestamp_offset <> old.length_hour * 3600 + "
    "old.length_minute * 60;end";

int32_t settingValue(const PaddingSettings& settings, int index) {
  return index == 0 ? settings.prepad : settings.postpad;
}

void setSettingValue(PaddingSettings& settings, int index, int32_t value) {
  (index == 0 ? settings.prepad : settings.postpad) = value;
}

// Call sites of one statement that writes a settings row.
struct RowSites {
  FailureSite reset, bindName, bindValue, step;
};

// Writes one row (name and value) with statement, which has run before when
// reset is true.
void writeRow(SqliteStatement& statement, bool reset, const char* name, int32_t value,
              const RowSites& sites) {
  if (reset) checkOrExit(statement, sqlite3_reset(statement.get()), sites.reset);
  sqlite3_stmt* raw = statement.get();
  checkOrExit(
      statement,
      sqlite3_bind_text(raw, sqlite3_bind_parameter_index(raw, ":name"), name, -1, SQLITE_STATIC),
      sites.bindName);
  checkOrExit(statement, sqlite3_bind_int(raw, sqlite3_bind_parameter_index(raw, ":value"), value),
              sites.bindValue);
  stepOrExit(statement, sites.step);
}

// Writes both rows of the settings table. The table is created with both rows
// when it does not exist; a row missing from an existing table is inserted
// after the updates, so that the next request reads what was saved. One
// statement is open at a time: finalising a statement that has run resets
// the connection's error text, which a failure must still report.
void writeSettingRows(const PaddingSettings& values) {
  const RowSites updateSites = {FailureSite::kSettingsSaveReset, FailureSite::kSettingsSaveBindName,
                                FailureSite::kSettingsSaveBindValue,
                                FailureSite::kSettingsSaveStep};
  const RowSites missingSites = {
      FailureSite::kSettingsMissingReset, FailureSite::kSettingsMissingBindName,
      FailureSite::kSettingsMissingBindValue, FailureSite::kSettingsMissingStep};
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(web_sched_db, kUpdateSettingSql, -1, &raw, nullptr);
  SqliteStatement rows(raw);
  bool inserting = false;
  if (code == SQLITE_ERROR) {
    // The generic SQL error: no settings table yet.
    execSQL(kCreateSettingsSql);
    rows = prepareOrExit(kInsertSettingSql, FailureSite::kSettingsInsertPrepare);
    inserting = true;
  } else {
    checkOrExit(rows, code, FailureSite::kSettingsUpdatePrepare);
  }
  bool missing[kSettingCount] = {};
  for (int index = 0; index < kSettingCount; ++index) {
    writeRow(rows, index > 0, kSettingNames[index], settingValue(values, index), updateSites);
    missing[index] = !inserting && sqlite3_changes(web_sched_db) == 0;
  }
  rows.reset();

  SqliteStatement insert;
  for (int index = 0; index < kSettingCount; ++index) {
    if (!missing[index]) continue;
    bool reset = static_cast<bool>(insert);
    if (!insert) insert = prepareOrExit(kInsertSettingSql, FailureSite::kSettingsMissingPrepare);
    writeRow(insert, reset, kSettingNames[index], settingValue(values, index), missingSites);
  }
}

// True when the timer table carries all three padding triggers.
bool triggersInstalled() {
  SqliteStatement statement = prepareOrExit(kCountTriggersSql, FailureSite::kTriggersPrepare);
  stepOrExit(statement, FailureSite::kTriggersStep);
  return sqlite3_column_int(statement.get(), 0) == kTriggerCount;
}

}  // namespace

// Loads the defaults and whether their triggers are installed on first use;
// the cache then stands for the rest of the process. No settings table (or
// one the query cannot read) means no defaults; any other failure, such as a
// database another process holds locked, ends the request.
const PaddingSettings& getSettings() {
  if (webschedSettingsPtr) return *webschedSettingsPtr;
  webschedSettings = PaddingSettings{};
  webschedSettingsPtr = &webschedSettings;
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(web_sched_db, kSelectSettingSql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  if (code == SQLITE_ERROR) {
    statement.reset();
    webschedSettings.triggers = triggersInstalled();
    return webschedSettings;
  }
  checkOrExit(statement, code, FailureSite::kSettingsReadPrepare);
  for (int index = 0; index < kSettingCount; ++index) {
    if (index > 0) {
      checkOrExit(statement, sqlite3_reset(statement.get()), FailureSite::kSettingsReadReset);
    }
    checkOrExit(statement,
                sqlite3_bind_text(statement.get(), 1, kSettingNames[index], -1, SQLITE_STATIC),
                FailureSite::kSettingsReadBind);
    if (stepOrExit(statement, FailureSite::kSettingsReadStep) == SQLITE_ROW) {
      setSettingValue(webschedSettings, index, sqlite3_column_int(statement.get(), 0));
      webschedSettings.stored = true;
    }
  }
  statement.reset();
  webschedSettings.triggers = triggersInstalled();
  return webschedSettings;
}

// The one rule for the marker. Whether a default is nonzero or stored plays
// no part: under 0/0 defaults the triggers still rewrite an unmarked row's
// times, and without triggers a marked row would keep its marker.
int32_t sourceMarker() {
  return getSettings().triggers ? 100 : 0;
}

bool defaultsNeedSaving() {
  const PaddingSettings& settings = getSettings();
  return settings.stored && !settings.triggers;
}

// Stores both defaults and replaces the three triggers with ones that carry
// them, all in one transaction.
void savePaddingDefaults(int32_t prepad, int32_t postpad) {
  // Every row, drop and create of a save becomes visible at once or not at
  // all, so neither a failure half-way nor a firmware write in between meets
  // a database with some triggers missing.
  timer_store::StoreTransaction transaction(FailureSite::kSettingsSaveBegin,
                                            FailureSite::kSettingsSaveCommit);
  writeSettingRows(PaddingSettings{prepad, postpad});
  for (const char* drop : kDropTriggerSql) execSQL(drop);
  webschedSettings = PaddingSettings{prepad, postpad, true, true};
  webschedSettingsPtr = &webschedSettings;
  execSQL(kInsertTriggerSql);
  execSQLbyTmpl(prepaddingTriggerTemplate().c_str(), prepad);
  execSQLbyTmpl(kPostpaddingTriggerTemplate, wrap32(int64_t{prepad} + postpad));
  transaction.commit();
}

// Expands the template as printf would with this one integer: "%%" becomes
// "%" and "%d" the value in decimal. The result has whatever length it needs.
void execSQLbyTmpl(const char* statementTemplate, int32_t value) {
  std::string_view text = statementTemplate;
  std::string statement;
  statement.reserve(text.size() + 11);  // the decimal text of any 32-bit value with its sign
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '%' || text[i + 1] == 'd')) {
      if (text[i + 1] == '%') {
        statement += '%';
      } else {
        statement += std::to_string(value);
      }
      ++i;
    } else {
      statement += text[i];
    }
  }
  execSQL(statement.c_str());
}
