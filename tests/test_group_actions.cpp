// Group actions on selected timers: delete, enable, disable, clone.
#include <gtest/gtest.h>

#include "support/firmware.h"
#include "support/timer_store_test.h"

namespace {

class GroupActions : public TimerStoreTest {
 protected:
  // Inserts count firmware timers with IDs 1..count; timer i has title "T<i>".
  void insertTimers(int count) {
    for (int i = 1; i <= count; ++i) {
      FirmwareTimer timer;
      timer.title = "T" + std::to_string(i);
      ASSERT_EQ(firmwareInsert(dbPath, timer), i);
    }
  }
  bool exists(int64_t id) { return readTimerRow(dbPath, id).has_value(); }
};

TEST_F(GroupActions, DeleteRemovesEveryListedKey) {
  insertTimers(8);
  EXPECT_EQ(deleteTimers({"5", "7"}), 0);
  EXPECT_EQ(countTimerRows(dbPath), 6);
  EXPECT_FALSE(exists(5));
  EXPECT_FALSE(exists(7));
  EXPECT_TRUE(exists(6));
  EXPECT_TRUE(exists(8));
}

TEST_F(GroupActions, KeysAreReadLikeAtoi) {
  insertTimers(4);
  // "abc" and a bare key read as 0 and name no timer; " 2" and "3xyz" are 2 and 3.
  EXPECT_EQ(deleteTimers({"abc", std::nullopt, ""}), 0);
  EXPECT_EQ(countTimerRows(dbPath), 4);
  EXPECT_EQ(deleteTimers({" 2", "3xyz"}), 0);
  EXPECT_FALSE(exists(2));
  EXPECT_FALSE(exists(3));
  EXPECT_TRUE(exists(1));
  EXPECT_TRUE(exists(4));
}

TEST_F(GroupActions, KeyNamingNoTimerIsNoFailure) {
  insertTimers(1);
  EXPECT_EQ(deleteTimers({"99", "1"}), 0);
  EXPECT_EQ(countTimerRows(dbPath), 0);
}

TEST_F(GroupActions, EnableWritesZeroAndDisableWritesOne) {
  FirmwareTimer disabled;
  disabled.enable = 5;
  int64_t first = firmwareInsert(dbPath, disabled);
  int64_t second = firmwareInsert(dbPath, FirmwareTimer{});
  EXPECT_EQ(enableTimers({std::to_string(first)}), 0);
  EXPECT_EQ(readTimerRow(dbPath, first)->enable, 0);
  EXPECT_EQ(disableTimers({std::to_string(first), std::to_string(second)}), 0);
  EXPECT_EQ(readTimerRow(dbPath, first)->enable, 1);
  EXPECT_EQ(readTimerRow(dbPath, second)->enable, 1);
}

// Every column but ID, enable and lock of a clone equals the original's.
void expectCopy(const TimerRow& copy, const TimerRow& original) {
  EXPECT_EQ(copy.datestamp, original.datestamp);
  EXPECT_EQ(copy.repeat, original.repeat);
  EXPECT_EQ(copy.year, original.year);
  EXPECT_EQ(copy.month, original.month);
  EXPECT_EQ(copy.day, original.day);
  EXPECT_EQ(copy.hour, original.hour);
  EXPECT_EQ(copy.minute, original.minute);
  EXPECT_EQ(copy.lengthHour, original.lengthHour);
  EXPECT_EQ(copy.lengthMinute, original.lengthMinute);
  EXPECT_EQ(copy.source, original.source);
  EXPECT_EQ(copy.channel, original.channel);
  EXPECT_EQ(copy.quality, original.quality);
  EXPECT_EQ(copy.target, original.target);
  EXPECT_EQ(copy.sap, original.sap);
  EXPECT_EQ(copy.timestampStart, original.timestampStart);
  EXPECT_EQ(copy.timestampOffset, original.timestampOffset);
  EXPECT_EQ(copy.scheduleType, original.scheduleType);
  EXPECT_EQ(copy.eventId, original.eventId);
  EXPECT_EQ(copy.userId, original.userId);
  EXPECT_EQ(copy.title, original.title);
}

FirmwareTimer unusualTimer() {
  FirmwareTimer timer;
  timer.repeat = 8;
  timer.year = 2031;
  timer.month = 11;
  timer.day = 12;
  timer.hour = 6;
  timer.minute = 45;
  timer.lengthHour = 2;
  timer.lengthMinute = 10;
  timer.source = 1;
  timer.channel = 42;
  timer.quality = 1;
  timer.target = 1;
  timer.sap = 3;
  timer.enable = 0;
  timer.lock = 7;
  timer.datestamp = 123456;
  timer.scheduleType = 2;
  timer.eventId = 991;
  timer.userId = 4;
  timer.timestampStart = 1900000000;
  timer.timestampOffset = 8400;
  timer.title = "News & Weather <live>";
  return timer;
}

TEST_F(GroupActions, CloneIsDisabledUnlockedCopyWithNewId) {
  int64_t id = firmwareInsert(dbPath, unusualTimer());
  EXPECT_EQ(cloneTimers({std::to_string(id)}), 0);
  ASSERT_EQ(countTimerRows(dbPath), 2);
  TimerRow original = *readTimerRow(dbPath, id);
  TimerRow copy = *readLastTimerRow(dbPath);
  EXPECT_NE(copy.id, original.id);
  EXPECT_EQ(copy.enable, 1);
  EXPECT_EQ(copy.lock, 0);
  expectCopy(copy, original);  // source 1 unchanged: no defaults, no marker
  EXPECT_EQ(original.lock, 7);
  EXPECT_EQ(original.enable, 0);
}

TEST_F(GroupActions, CloneUnderPaddingDefaultsKeepsTimesAndSource) {
  int64_t id = firmwareInsert(dbPath, unusualTimer());
  savePaddingDefaults(300, 600);
  TimerRow original = *readTimerRow(dbPath, id);
  EXPECT_EQ(cloneTimers({std::to_string(id)}), 0);
  TimerRow copy = *readLastTimerRow(dbPath);
  // Written with source 101; the triggers take the marker off and keep the
  // copied times, margins and all.
  expectCopy(copy, original);
  EXPECT_EQ(copy.source, 1);
  EXPECT_EQ(copy.enable, 1);
}

TEST_F(GroupActions, CloneReadsDefaultsStoredByEarlierRequest) {
  savePaddingDefaults(0, 60);
  forgetSettings();  // a new request: the defaults come from the table
  FirmwareTimer timer;
  timer.timestampStart = 1900000000;
  timer.timestampOffset = 1234;
  int64_t id = firmwareInsert(dbPath, timer);
  TimerRow original = *readTimerRow(dbPath, id);
  cloneTimers({std::to_string(id)});
  TimerRow copy = *readLastTimerRow(dbPath);
  expectCopy(copy, original);
  EXPECT_EQ(copy.source, 10);
}

TEST_F(GroupActions, CloneTwiceMakesTwoCopies) {
  int64_t id = firmwareInsert(dbPath, unusualTimer());
  cloneTimers({std::to_string(id), std::to_string(id)});
  EXPECT_EQ(countTimerRows(dbPath), 3);
  TimerRow original = *readTimerRow(dbPath, id);
  for (int64_t copyId = id + 1; copyId <= id + 2; ++copyId) {
    std::optional<TimerRow> copy = readTimerRow(dbPath, copyId);
    ASSERT_TRUE(copy);
    expectCopy(*copy, original);
  }
}

// ---------------------------------------------------------------------------
// Failures end the request with the "SQL error code" line and status 1.
// ---------------------------------------------------------------------------

TEST_F(GroupActions, MissingTimerTableFailsAtPrepare) {
  TestDb(dbPath).exec("drop table timer_record_table");
  EXPECT_STORE_FAILURE(deleteTimers({"1"}),
                       sqlErrorLine(1, "no such table: timer_record_table", 10));
}

TEST_F(GroupActions, LockedDatabaseIsFailure) {
  insertTimers(2);
  FirmwareLock lock(dbPath);
  EXPECT_STORE_FAILURE(deleteTimers({"1"}), sqlErrorLine(5, "database is locked", 10));
}

TEST_F(GroupActions, WriteRefusedUnderLockIsReported) {
  insertTimers(2);
  loadSchema();
  {
    FirmwareLock lock(dbPath);
    EXPECT_STORE_FAILURE(disableTimers({"1"}), sqlErrorLine(5, "database is locked", 14));
  }
  EXPECT_EQ(readTimerRow(dbPath, 1)->enable, 0);
}

TEST_F(GroupActions, ReadOnlyDatabaseIsReported) {
  insertTimers(2);
  openTimerDb(SQLITE_OPEN_READONLY);
  EXPECT_STORE_FAILURE(cloneTimers({"1"}),
                       sqlErrorLine(8, "attempt to write a readonly database", 14));
  EXPECT_EQ(countTimerRows(dbPath), 2);
}

TEST_F(GroupActions, StopsAtFirstRefusedKey) {
  insertTimers(3);
  TestDb(dbPath).exec(
      "update timer_record_table set lock = 1 where ID = 2;"
      "create trigger keep_locked before delete on timer_record_table when old.lock <> 0 "
      "begin select raise(abort, 'timer is locked'); end");
  EXPECT_STORE_FAILURE(deleteTimers({"1", "2", "3"}), sqlErrorLine(19, "timer is locked", 14));
  EXPECT_FALSE(exists(1));
  EXPECT_TRUE(exists(2));
  EXPECT_TRUE(exists(3));
}

}  // namespace
