// Padding defaults: the settings table, the per-process cache, the three
// triggers and the one transaction a save runs in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "model/timer.h"
#include "store/group_actions.h"
#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "store/timer_write.h"
#include "support/firmware.h"
#include "support/timer_store_test.h"

namespace {

// The trigger texts as the database must keep them, around the numbers.
const char* const kInsPadding =
    "create trigger ins_padding after insert on timer_record_table begin update timer_recor"
    "d_table set timestamp_start = new.timestamp_start, timestamp_offset = new.timestamp_of"
    "fset\twhere rowid = new.rowid; end";
const char* const kPrepaddingHead =
    "create trigger upd_prepadding after update of timestamp_start on timer_record_table be"
    "gin update timer_record_table set\ttimestamp_start = (select case when (strftime('%s',"
    " w - a, 'unixepoch', 'localtime') - (w - a)) = a then w - a else w - b end from (selec"
    "t w, (strftime('%s', w + 86400, 'unixepoch', 'localtime') - (w + 86400)) as a, (strfti"
    "me('%s', w - 86400, 'unixepoch', 'localtime') - (w - 86400)) as b from (select cast(st"
    "rftime('%s', '0000-01-01', new.date_year || ' years', (new.date_month - 1) || ' months"
    "', (new.date_day - 1) || ' days', new.start_hour || ' hours', new.start_minute || ' mi"
    "nutes') as integer) as w))) - \t(select case when (strftime('%s', w - a, 'unixepoch', "
    "'localtime') - (w - a)) = a then w - a else w - b end from (select w, (strftime('%s', "
    "w + 86400, 'unixepoch', 'localtime') - (w + 86400)) as a, (strftime('%s', w - 86400, '"
    "unixepoch', 'localtime') - (w - 86400)) as b from (select cast(strftime('%s', '0000-01"
    "-01', old.date_year || ' years', (old.date_month - 1) || ' months', (old.date_day - 1)"
    " || ' days', old.start_hour || ' hours', old.start_minute || ' minutes') as integer) a"
    "s w))) + old.timestamp_start\twhere rowid = old.rowid and new.source < 100 and (date_y"
    "ear <> old.date_year or date_month <> old.date_month or date_day <> old.date_day or st"
    "art_hour <> old.start_hour or start_minute <> old.start_minute); update timer_record_t"
    "able set\tsource = new.source - 100\twhere rowid = old.rowid and new.source > 100; upd"
    "ate timer_record_table set\ttimestamp_start = (select case when (strftime('%s', w - a,"
    " 'unixepoch', 'localtime') - (w - a)) = a then w - a else w - b end from (select w, (s"
    "trftime('%s', w + 86400, 'unixepoch', 'localtime') - (w + 86400)) as a, (strftime('%s'"
    ", w - 86400, 'unixepoch', 'localtime') - (w - 86400)) as b from (select cast(strftime("
    "'%s', '0000-01-01', new.date_year || ' years', (new.date_month - 1) || ' months', (new"
    ".date_day - 1) || ' days', new.start_hour || ' hours', new.start_minute || ' minutes')"
    " as integer) as w))) - ";
const char* const kPrepaddingTail =
    "\twhere rowid = old.rowid and new.source < 100 and date_year = old.date_year and date_"
    "month = old.date_month and date_day = old.date_day and start_hour = old.start_hour and"
    " start_minute = old.start_minute;end";
const char* const kPostpaddingHead =
    "create trigger upd_postpadding after update of timestamp_offset on timer_record_table "
    "begin update timer_record_table set\tsource = new.source - 100\twhere rowid = old.rowi"
    "d and new.source > 100; update timer_record_table set\ttimestamp_offset = length_hour "
    "* 3600 + length_minute * 60 + ";
const char* const kPostpaddingTail =
    "\twhere rowid = old.rowid and new.source < 100 and old.timestamp_offset = old.length_h"
    "our * 3600 + old.length_minute * 60; update timer_record_table set\ttimestamp_offset ="
    " (length_hour - old.length_hour) * 3600 + (length_minute - old.length_minute) * 60 + o"
    "ld.timestamp_offset\twhere rowid = old.rowid and new.source < 100 and old.timestamp_of"
    "fset <> old.length_hour * 3600 + old.length_minute * 60;end";

// sqlite_master keeps a statement with its first two words in capitals.
std::string stored(const std::string& statement) {
  const std::string words = "create trigger";
  EXPECT_EQ(statement.compare(0, words.size(), words), 0);
  return "CREATE TRIGGER" + statement.substr(words.size());
}
std::string insertTrigger() {
  return stored(kInsPadding);
}
std::string prepaddingTrigger(long long prepad) {
  return stored(kPrepaddingHead + std::to_string(prepad) + kPrepaddingTail);
}
std::string postpaddingTrigger(long long total) {
  return stored(kPostpaddingHead + std::to_string(total) + kPostpaddingTail);
}

class PaddingDefaults : public TimerStoreTest {
 protected:
  // The stored text of the named trigger ("<none>" when there is none). Read
  // directly: the texts contain "||", which TestDb::scalar would cut at.
  std::string triggerSql(const std::string& name) {
    TestDb db(dbPath);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(
                  db.handle(), "select sql from sqlite_master where type = 'trigger' and name = ?",
                  -1, &statement, nullptr),
              SQLITE_OK);
    sqlite3_bind_text(statement, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    std::string sql = "<none>";
    if (sqlite3_step(statement) == SQLITE_ROW) {
      sql = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    return sql;
  }
  // The three triggers carry P and T.
  void expectTriggers(long long prepad, long long total) {
    EXPECT_EQ(triggerSql("ins_padding"), insertTrigger());
    EXPECT_EQ(triggerSql("upd_prepadding"), prepaddingTrigger(prepad));
    EXPECT_EQ(triggerSql("upd_postpadding"), postpaddingTrigger(total));
    EXPECT_EQ(TestDb(dbPath).integer("select count(*) from sqlite_master where type = 'trigger' "
                                     "and tbl_name = 'timer_record_table'"),
              3);
  }
  std::vector<std::string> settingRows() {
    return TestDb(dbPath).rows("select name, value, typeof(value) from settings order by rowid");
  }
  bool settingsTableExists() {
    return TestDb(dbPath).integer(
               "select count(*) from sqlite_master where type = 'table' and name = 'settings'") ==
           1;
  }
};

using Rows = std::vector<std::string>;

TEST_F(PaddingDefaults, FirstSaveCreatesTableRowsAndTriggers) {
  savePaddingDefaults(300, 600);
  EXPECT_EQ(settingRows(), (Rows{"prepad|300|text", "postpad|600|text"}));
  expectTriggers(300, 900);
  EXPECT_EQ(webschedSettingsPtr, &webschedSettings);
  EXPECT_EQ(getSettings().prepad, 300);
  EXPECT_EQ(getSettings().postpad, 600);
}

TEST_F(PaddingDefaults, WithoutTableReadsZerosAndCreatesNothing) {
  const PaddingSettings& settings = getSettings();
  EXPECT_EQ(settings.prepad, 0);
  EXPECT_EQ(settings.postpad, 0);
  EXPECT_EQ(&settings, webschedSettingsPtr);
  EXPECT_FALSE(settingsTableExists());
  EXPECT_EQ(TestDb(dbPath).integer("select count(*) from sqlite_master where type = 'trigger'"), 0);
}

TEST_F(PaddingDefaults, ReadsStoredValuesOnceAndCachesThem) {
  TestDb(dbPath).exec(
      "create table settings (name text, value text);"
      "insert into settings values ('postpad', '60'), ('prepad', 120)");
  EXPECT_EQ(getSettings().prepad, 120);
  EXPECT_EQ(getSettings().postpad, 60);
  TestDb(dbPath).exec("update settings set value = 999");
  EXPECT_EQ(getSettings().prepad, 120);  // not read again in this process
  forgetSettings();
  EXPECT_EQ(getSettings().prepad, 999);
}

TEST_F(PaddingDefaults, SettingsTableOfOtherLayoutReadsAsZeros) {
  TestDb(dbPath).exec("create table settings (key text, val text)");
  EXPECT_EQ(getSettings().prepad, 0);
  EXPECT_EQ(getSettings().postpad, 0);
}

TEST_F(PaddingDefaults, SaveSetsCacheWithoutReadingTable) {
  getSettings();  // cache filled with zeros first
  savePaddingDefaults(60, 120);
  TestDb(dbPath).exec("update settings set value = 5");
  EXPECT_EQ(getSettings().prepad, 60);
  EXPECT_EQ(getSettings().postpad, 120);
}

TEST_F(PaddingDefaults, LaterSaveUpdatesRowsAndReplacesTriggers) {
  savePaddingDefaults(300, 600);
  savePaddingDefaults(-60, 0);
  EXPECT_EQ(settingRows(), (Rows{"prepad|-60|text", "postpad|0|text"}));
  expectTriggers(-60, -60);
  forgetSettings();
  EXPECT_EQ(getSettings().prepad, -60);
  EXPECT_EQ(getSettings().postpad, 0);
}

TEST_F(PaddingDefaults, MissingRowIsInsertedSoNextRequestReadsIt) {
  TestDb(dbPath).exec(
      "create table settings (name text, value text);"
      "insert into settings values ('prepad', '30')");
  savePaddingDefaults(300, 600);
  EXPECT_EQ(settingRows(), (Rows{"prepad|300|text", "postpad|600|text"}));
  expectTriggers(300, 900);
  forgetSettings();
  EXPECT_EQ(getSettings().postpad, 600);

  // An empty table gets both rows, and a further save adds none.
  TestDb(dbPath).exec("delete from settings");
  savePaddingDefaults(1, 2);
  savePaddingDefaults(3, 4);
  EXPECT_EQ(settingRows(), (Rows{"prepad|3|text", "postpad|4|text"}));
}

TEST_F(PaddingDefaults, LargeNumbersGiveCompleteTriggerTexts) {
  savePaddingDefaults(1000000, 9000000);
  expectTriggers(1000000, 10000000);
  savePaddingDefaults(INT_MIN, 0);
  expectTriggers(INT_MIN, INT_MIN);
  savePaddingDefaults(1500000000, 600000000);
  expectTriggers(1500000000, 2100000000);
  // The triggers still work with such texts.
  int64_t id = firmwareInsert(dbPath, FirmwareTimer{});
  EXPECT_EQ(readTimerRow(dbPath, id)->timestampOffset, 3600 + 2100000000LL);
}

// The interface marks its writes exactly when the three triggers are
// installed, whatever the defaults, so that a create, an update and a clone
// keep the times they are written with: a clone starts when its original
// does. Default rows whose triggers are gone (a rebuilt table) leave the
// writes unmarked, as nothing would take the marker off.
TEST_F(PaddingDefaults, MarkerFollowsInstalledTriggers) {
  enum class Action { kCreate, kUpdate, kClone };
  struct Setting {
    const char* name;
    bool save;  // defaults prepad/postpad saved (with their triggers)
    int32_t prepad, postpad;
    bool dropTriggers, reload;
    int32_t marker;
    bool needSaving;
  } settings[] = {
      {"no settings table", false, 0, 0, false, false, 0, false},
      {"0/0 saved by this request", true, 0, 0, false, false, 100, false},
      {"0/0 saved by an earlier request", true, 0, 0, false, true, 100, false},
      {"5/10 saved by an earlier request", true, 300, 600, false, true, 100, false},
      {"0/0 stored, triggers gone", true, 0, 0, true, true, 0, true},
      {"5/10 stored, triggers gone", true, 300, 600, true, true, 0, true},
  };
  const int64_t start = firmwareStartSeconds(2030, 5, 3, 20, 0);
  for (const Setting& setting : settings) {
    for (Action action : {Action::kCreate, Action::kUpdate, Action::kClone}) {
      SCOPED_TRACE(std::string(setting.name) + ", action " + std::to_string(int(action)));
      TestDb(dbPath).exec(
          "drop table if exists settings; delete from timer_record_table; drop trigger if exists "
          "ins_padding; drop trigger if exists upd_prepadding; drop trigger if exists "
          "upd_postpadding");
      openTimerDb();  // a new request, which reads the schema afresh
      forgetSettings();
      if (setting.save) savePaddingDefaults(setting.prepad, setting.postpad);
      if (setting.dropTriggers) {
        TestDb(dbPath).exec(
            "drop trigger ins_padding; drop trigger upd_prepadding; drop trigger upd_postpadding");
      }
      if (setting.reload) forgetSettings();
      EXPECT_EQ(sourceMarker(), setting.marker);
      EXPECT_EQ(defaultsNeedSaving(), setting.needSaving);

      // Channel 7 on 3 May 2030 at 20:00 for an hour, 5 minutes before, 2 after.
      const TimerValues values{7, 3, 5, 2030, 20, 0, 1, 0, 300, 120, 0, "", 0, 0, 0};
      if (action == Action::kUpdate) {
        int64_t id = firmwareInsert(dbPath, FirmwareTimer{});
        updateTimer(static_cast<int32_t>(id), values);
      } else {
        createTimer(values);
      }
      TimerRow row = *readLastTimerRow(dbPath);
      EXPECT_EQ(row.source, 10);
      EXPECT_EQ(row.timestampStart, start - 300);
      EXPECT_EQ(row.timestampOffset, 300 + 3600 + 120);
      if (action == Action::kClone) {
        cloneTimers({std::to_string(row.id)});
        TimerRow copy = *readLastTimerRow(dbPath);
        ASSERT_NE(copy.id, row.id);
        EXPECT_EQ(copy.source, row.source);
        EXPECT_EQ(copy.timestampStart, row.timestampStart);
        EXPECT_EQ(copy.timestampOffset, row.timestampOffset);
      }
    }
  }
  // Firmware rows still get the 0/0 defaults.
  forgetSettings();
  savePaddingDefaults(0, 0);
  FirmwareTimer firmware;
  firmware.timestampStart = start - 999;
  int64_t id = firmwareInsert(dbPath, firmware);
  EXPECT_EQ(readTimerRow(dbPath, id)->timestampStart, start);
}

// ---------------------------------------------------------------------------
// Failures end the request with the "SQL error code" line and status 1, and
// a failed save leaves the database as it was.
// ---------------------------------------------------------------------------

class FailedSave : public PaddingDefaults {
 protected:
  void SetUp() override {
    PaddingDefaults::SetUp();
    savePaddingDefaults(300, 600);
    forgetSettings();
  }
  // The failed request closed the database, which rolled its transaction
  // back: no journal is left for the next connection to roll back.
  void expectNoJournal() { EXPECT_NE(access((dbPath + "-journal").c_str(), F_OK), 0); }
  // The save of 300 and 600 is intact.
  void expectOldSave() {
    expectNoJournal();
    EXPECT_EQ(settingRows(), (Rows{"prepad|300|text", "postpad|600|text"}));
    expectTriggers(300, 900);
  }
};

TEST_F(FailedSave, RefusedTriggerRollsBackWholeSave) {
  auto denyLastTrigger = [](void*, int action, const char* name, const char*, const char*,
                            const char*) {
    return action == SQLITE_CREATE_TRIGGER && std::string(name) == "upd_postpadding" ? SQLITE_DENY
                                                                                     : SQLITE_OK;
  };
  EXPECT_STORE_FAILURE(
      {
        sqlite3_set_authorizer(web_sched_db, denyLastTrigger, nullptr);
        savePaddingDefaults(60, 120);
      },
      sqlErrorLine(23, "not authorized", 15));
  expectOldSave();
}

TEST_F(FailedSave, RefusedRowWriteRollsBack) {
  TestDb(dbPath).exec(
      "create trigger keep_postpad before update on settings when new.name = 'postpad' "
      "begin select raise(abort, 'postpad is fixed'); end");
  EXPECT_STORE_FAILURE(savePaddingDefaults(60, 120), sqlErrorLine(19, "postpad is fixed", 40));
  expectOldSave();
}

TEST_F(FailedSave, RefusedMissingRowInsertRollsBack) {
  TestDb(dbPath).exec(
      "delete from settings where name = 'postpad';"
      "create trigger no_new_rows before insert on settings "
      "begin select raise(abort, 'no new settings'); end");
  EXPECT_STORE_FAILURE(savePaddingDefaults(60, 120), sqlErrorLine(19, "no new settings", 45));
  expectNoJournal();
  EXPECT_EQ(TestDb(dbPath).rows("select name, value from settings"), (Rows{"prepad|300"}));
  EXPECT_EQ(triggerSql("upd_prepadding"), prepaddingTrigger(300));
}

TEST_F(FailedSave, LockedDatabaseFailsBeforeAnyChange) {
  {
    FirmwareLock lock(dbPath);
    EXPECT_STORE_FAILURE(savePaddingDefaults(60, 120), sqlErrorLine(5, "database is locked", 34));
  }
  expectOldSave();
}

TEST_F(FailedSave, CommitBlockedByReaderRollsBack) {
  // A reader of the other process keeps the save from committing.
  loadSchema();
  {
    FirmwareLock reader(dbPath, FirmwareLock::kReading);
    EXPECT_STORE_FAILURE(savePaddingDefaults(60, 120), sqlErrorLine(5, "database is locked", 46));
  }
  expectOldSave();
}

TEST_F(FailedSave, ReadOnlyDatabaseIsReported) {
  openTimerDb(SQLITE_OPEN_READONLY);
  EXPECT_STORE_FAILURE(savePaddingDefaults(60, 120),
                       sqlErrorLine(8, "attempt to write a readonly database", 40));
  expectOldSave();
}

TEST_F(PaddingDefaults, MissingTimerTableRollsBackCreatedSettings) {
  TestDb(dbPath).exec("drop table timer_record_table");
  EXPECT_STORE_FAILURE(savePaddingDefaults(300, 600),
                       sqlErrorLine(1, "no such table: main.timer_record_table", 15));
  EXPECT_FALSE(settingsTableExists());
}

TEST_F(PaddingDefaults, SettingsTableOfOtherLayoutIsFailureOnSave) {
  TestDb(dbPath).exec("create table settings (key text, val text)");
  EXPECT_STORE_FAILURE(savePaddingDefaults(300, 600),
                       sqlErrorLine(1, "table settings already exists", 15));
  EXPECT_EQ(TestDb(dbPath).integer("select count(*) from sqlite_master where type = 'trigger'"), 0);
}

TEST_F(PaddingDefaults, LockedDatabaseIsFailureOnRead) {
  FirmwareLock lock(dbPath);
  EXPECT_STORE_FAILURE(getSettings(), sqlErrorLine(5, "database is locked", 30));
}

}  // namespace
