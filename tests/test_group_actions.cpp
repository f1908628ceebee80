// Group actions on selected timers: delete, enable, disable, clone.
#include <gtest/gtest.h>

#include "store/group_actions.h"
#include "store/padding_defaults.h"
#include "support/firmware.h"
#include "support/timer_store_test.h"

namespace {

class GroupActions : public TimerStoreTest {
 protected:
  // Inserts count firmware timers with IDs 1..count.
  void insertTimers(int count) {
    for (int i = 1; i <= count; ++i) ASSERT_EQ(firmwareInsert(dbPath, FirmwareTimer{}), i);
  }
  // The IDs left in the table.
  std::vector<std::string> ids() {
    return TestDb(dbPath).rows("select ID from timer_record_table order by ID");
  }
};

using Ids = std::vector<std::string>;

TEST_F(GroupActions, DeleteRemovesEveryListedKey) {
  insertTimers(8);
  EXPECT_EQ(deleteTimers({"5", "7"}), 0);
  EXPECT_EQ(ids(), (Ids{"1", "2", "3", "4", "6", "8"}));
}

TEST_F(GroupActions, KeysAreReadLikeAtoi) {
  insertTimers(4);
  // "abc", a bare key and "" read as 0, "99" names no timer: no failure.
  EXPECT_EQ(deleteTimers({"abc", std::nullopt, "", "99"}), 0);
  EXPECT_EQ(countTimerRows(dbPath), 4);
  EXPECT_EQ(deleteTimers({" 2", "3xyz"}), 0);
  EXPECT_EQ(ids(), (Ids{"1", "4"}));
}

TEST_F(GroupActions, EnableWritesZeroAndDisableWritesOne) {
  FirmwareTimer disabled;
  disabled.enable = 5;
  firmwareInsert(dbPath, disabled);
  firmwareInsert(dbPath, FirmwareTimer{});
  EXPECT_EQ(enableTimers({"1"}), 0);
  EXPECT_EQ(readTimerRow(dbPath, 1)->enable, 0);
  EXPECT_EQ(disableTimers({"1", "2"}), 0);
  EXPECT_EQ(readTimerRow(dbPath, 1)->enable, 1);
  EXPECT_EQ(readTimerRow(dbPath, 2)->enable, 1);
}

// Every column but ID, enable and lock of a clone equals the original's;
// the clone is disabled and unlocked.
void expectClone(TimerRow copy, const TimerRow& original) {
  EXPECT_NE(copy.id, original.id);
  EXPECT_EQ(copy.enable, 1);
  EXPECT_EQ(copy.lock, 0);
  copy.enable = original.enable;
  copy.lock = original.lock;
  EXPECT_EQ(copy.numbers(), original.numbers());
  EXPECT_EQ(copy.title, original.title);
}

// An active, locked external-input timer with margins and firmware columns.
FirmwareTimer unusualTimer() {
  FirmwareTimer t;
  t.repeat = 8, t.year = 2031, t.month = 11, t.day = 12, t.hour = 6, t.minute = 45;
  t.lengthHour = 2, t.lengthMinute = 10, t.source = 1, t.channel = 42;
  t.quality = 1, t.target = 1, t.sap = 3, t.enable = 0, t.lock = 7;
  t.datestamp = 123456, t.scheduleType = 2, t.eventId = 991, t.userId = 4;
  t.timestampStart = 1900000000, t.timestampOffset = 8400;
  t.title = "News & Weather <live>";
  return t;
}

TEST_F(GroupActions, CloneTwiceMakesTwoDisabledUnlockedCopies) {
  int64_t id = firmwareInsert(dbPath, unusualTimer());
  EXPECT_EQ(cloneTimers({std::to_string(id), std::to_string(id)}), 0);
  ASSERT_EQ(countTimerRows(dbPath), 3);
  TimerRow original = *readTimerRow(dbPath, id);
  EXPECT_EQ(original.lock, 7);
  EXPECT_EQ(original.enable, 0);
  for (int64_t copy : {id + 1, id + 2}) {
    ASSERT_TRUE(readTimerRow(dbPath, copy));
    expectClone(*readTimerRow(dbPath, copy), original);  // no defaults: source 1 unchanged
  }
}

TEST_F(GroupActions, CloneUnderPaddingDefaultsKeepsTimesAndSource) {
  // Saved in this request, and saved by an earlier one (read from the table):
  // the clone is written with source 101, and the triggers only take the
  // marker off. Unmarked, they would move its timestamp_start.
  struct Case {
    int32_t prepad, postpad;
    bool newRequest;
  } cases[] = {{300, 600, false}, {0, 60, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.postpad);
    int64_t id = firmwareInsert(dbPath, unusualTimer());
    savePaddingDefaults(c.prepad, c.postpad);
    if (c.newRequest) forgetSettings();
    TimerRow original = *readTimerRow(dbPath, id);
    EXPECT_EQ(cloneTimers({std::to_string(id)}), 0);
    expectClone(*readLastTimerRow(dbPath), original);
  }
}

// Failures end the request with the "SQL error code" line and status 1.

TEST_F(GroupActions, MissingTimerTableFailsAtPrepare) {
  TestDb(dbPath).exec("drop table timer_record_table");
  EXPECT_STORE_FAILURE(deleteTimers({"1"}),
                       sqlErrorLine(1, "no such table: timer_record_table", 10));
}

TEST_F(GroupActions, LockedDatabaseIsFailure) {
  insertTimers(2);
  {
    FirmwareLock lock(dbPath);
    EXPECT_STORE_FAILURE(deleteTimers({"1"}), sqlErrorLine(5, "database is locked", 8));
  }
  // With the schema already read, the write lock is still refused up front.
  loadSchema();
  {
    FirmwareLock lock(dbPath);
    EXPECT_STORE_FAILURE(disableTimers({"1"}), sqlErrorLine(5, "database is locked", 8));
  }
  EXPECT_EQ(readTimerRow(dbPath, 1)->enable, 0);
  EXPECT_EQ(countTimerRows(dbPath), 2);
}

TEST_F(GroupActions, ReadOnlyDatabaseIsReported) {
  insertTimers(2);
  openTimerDb(SQLITE_OPEN_READONLY);
  EXPECT_STORE_FAILURE(cloneTimers({"1"}),
                       sqlErrorLine(8, "attempt to write a readonly database", 14));
  EXPECT_EQ(countTimerRows(dbPath), 2);
}

// A refused key rolls back the keys before it: a failure report never hides
// a half-done action.
TEST_F(GroupActions, RefusedKeyLeavesNothingWritten) {
  insertTimers(3);
  TestDb(dbPath).exec(
      "update timer_record_table set lock = 1 where ID = 2;"
      "create trigger keep_locked before delete on timer_record_table when old.lock <> 0 "
      "begin select raise(abort, 'timer is locked'); end");
  EXPECT_STORE_FAILURE(deleteTimers({"1", "2", "3"}), sqlErrorLine(19, "timer is locked", 14));
  EXPECT_EQ(ids(), (Ids{"1", "2", "3"}));
}

}  // namespace
