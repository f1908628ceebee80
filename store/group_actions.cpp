// The group actions on the selected timers (delete, enable, disable, clone)
// and the one-statement runner of the timer store.
#include "store/group_actions.h"

#include <sqlite3.h>

#include "store/padding_defaults.h"
#include "store/store_statements.h"
#include "store/timer_db.h"

using timer_store::bindIntOrExit;
using timer_store::checkOrExit;
using timer_store::prepareOrExit;
using timer_store::stepOrExit;

namespace {

// No source base: the statement has no ":sourceBase".
constexpr int32_t kNoSourceBase = -1;

const char* const kDeleteSql = "delete from timer_record_table where id = :id";
const char* const kEnableSql = "update timer_record_table set enable=0 where id = :id";
const char* const kDisableSql = "update timer_record_table set enable=1 where id = :id";
// A clone is disabled, unlocked and gets a new ID; its source carries the
// marker while the padding triggers are installed, so that they keep its
// times and only strip the marker: it records when its original does.
const char* const kCloneSql =
    "insert into timer_record_table (datestamp, date, date_year, date_month, date_day, "
    "start_hour, start_minute, length_hour, length_minute,source, channel, quality, target, SAP, "
    "timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id, user_id, "
    "user_string) select datestamp, date, date_year, date_month, date_day, start_hour, "
    "start_minute, length_hour, length_minute,source + :sourceBase, channel, quality, target, "
    "SAP, timestamp_start, timestamp_offset, 1, 0, schedule_type, event_id, user_id, "
    "user_string from timer_record_table where id = :id";
const char* const kTitleSql = "select user_string from timer_record_table where id = :id";

}  // namespace

// Runs sql once per key, in order, in one transaction. A key is bound by its
// integer value (text without digits reads as 0, which names no timer). The
// first step the database refuses ends the request: later keys are not
// touched and earlier ones are rolled back.
int groupExec(const char* sql, const KeyList& keys, int32_t sourceBase, int32_t* changed) {
  // All keys or none: a refused key rolls back the ones before it, so a
  // failure report never hides a half-done action.
  timer_store::StoreTransaction transaction(FailureSite::kGroupBegin, FailureSite::kGroupCommit);
  SqliteStatement statement = prepareOrExit(sql, FailureSite::kGroupPrepare);
  bool first = true;
  for (const ParamValue& key : keys) {
    if (!first) checkOrExit(statement, sqlite3_reset(statement.get()), FailureSite::kGroupReset);
    first = false;
    if (sourceBase >= 0) {
      bindIntOrExit(statement, ":sourceBase", sourceBase, FailureSite::kGroupBindSourceBase);
    }
    bindIntOrExit(statement, ":id", quibAtoi(key), FailureSite::kGroupBindId);
    stepOrExit(statement, FailureSite::kGroupStep);
    // Rows the statement itself touched; rows the triggers write are not
    // counted by SQLite.
    if (changed != nullptr) *changed += sqlite3_changes(web_sched_db);
  }
  statement.reset();
  transaction.commit();
  return 0;
}

int deleteTimers(const KeyList& keys, int32_t* changed) {
  return groupExec(kDeleteSql, keys, kNoSourceBase, changed);
}

// enable = 0 makes a timer active; the column reads the other way round.
int enableTimers(const KeyList& keys, int32_t* changed) {
  return groupExec(kEnableSql, keys, kNoSourceBase, changed);
}

int disableTimers(const KeyList& keys, int32_t* changed) {
  return groupExec(kDisableSql, keys, kNoSourceBase, changed);
}

int cloneTimers(const KeyList& keys, int32_t* changed) {
  // Whether the triggers are installed is read in the transaction that
  // clones: the database is held once for both.
  timer_store::StoreTransaction transaction(FailureSite::kGroupBegin, FailureSite::kGroupCommit);
  const int result = groupExec(kCloneSql, keys, sourceMarker(), changed);
  transaction.commit();
  return result;
}

std::optional<std::string> timerTitle(int32_t id) {
  SqliteStatement statement = prepareOrExit(kTitleSql, FailureSite::kLookupPrepare);
  bindIntOrExit(statement, ":id", id, FailureSite::kLookupBind);
  if (stepOrExit(statement, FailureSite::kLookupStep) != SQLITE_ROW) return std::nullopt;
  const unsigned char* title = sqlite3_column_text(statement.get(), 0);
  if (title == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(title),
                     static_cast<size_t>(sqlite3_column_bytes(statement.get(), 0)));
}
