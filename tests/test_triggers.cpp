// What the padding triggers do to the firmware's own writes, with the
// defaults P = 300 (pre) and Q = 600 (post), T = 900.
#include <gtest/gtest.h>

#include "support/firmware.h"
#include "support/timer_store_test.h"

namespace {

constexpr int64_t P = 300;
constexpr int64_t T = 900;

class Triggers : public TimerStoreTest {
 protected:
  // Rows inserted before the save do not meet the triggers: they keep the
  // times the firmware wrote.
  int64_t insertBeforeSave(const FirmwareTimer& timer) { return firmwareInsert(dbPath, timer); }
  void installDefaults() { savePaddingDefaults(static_cast<int32_t>(P), 600); }
  TimerRow row(int64_t id) {
    std::optional<TimerRow> found = readTimerRow(dbPath, id);
    EXPECT_TRUE(found);
    return found.value_or(TimerRow{});
  }
  // 2030-05-03 20:00 as the triggers read the start columns.
  const int64_t start = firmwareStartSeconds(2030, 5, 3, 20, 0);
};

FirmwareTimer ninetyMinutes() {
  FirmwareTimer timer;
  timer.lengthHour = 1;
  timer.lengthMinute = 30;
  return timer;
}

TEST_F(Triggers, InsertWithoutMarginsGetsDefaults) {
  installDefaults();
  int64_t id = firmwareInsert(dbPath, ninetyMinutes());
  EXPECT_EQ(row(id).timestampStart, start - P);
  EXPECT_EQ(row(id).timestampOffset, 5400 + T);
  EXPECT_EQ(row(id).source, 10);
}

TEST_F(Triggers, InsertWithMarginsKeepsItsOffset) {
  installDefaults();
  FirmwareTimer timer = ninetyMinutes();
  timer.timestampStart = start - 60;
  timer.timestampOffset = 5400 + 180;
  int64_t id = firmwareInsert(dbPath, timer);
  EXPECT_EQ(row(id).timestampStart, start - P);
  EXPECT_EQ(row(id).timestampOffset, 5580);
}

TEST_F(Triggers, MoveKeepsDistanceBetweenStartAndTimestamp) {
  FirmwareTimer timer = ninetyMinutes();
  timer.timestampStart = start - 120;  // a margin of its own
  int64_t id = insertBeforeSave(timer);
  installDefaults();
  // The firmware writes a timestamp_start of its own; the row keeps 120.
  firmwareMove(dbPath, id, 2030, 5, 4, 21, 30, 12345);
  EXPECT_EQ(row(id).timestampStart, firmwareStartSeconds(2030, 5, 4, 21, 30) - 120);
  EXPECT_EQ(row(id).day, 4);
}

TEST_F(Triggers, UpdateOfTimestampAloneGetsDefaultMargin) {
  int64_t id = insertBeforeSave(ninetyMinutes());
  installDefaults();
  firmwareSetStart(dbPath, id, 777);
  EXPECT_EQ(row(id).timestampStart, start - P);
}

TEST_F(Triggers, OffsetUpdateOfRowWithoutMarginsGetsDefaults) {
  int64_t id = insertBeforeSave(ninetyMinutes());
  installDefaults();
  firmwareSetLength(dbPath, id, 2, 0, 1);
  EXPECT_EQ(row(id).timestampOffset, 7200 + T);
}

TEST_F(Triggers, OffsetUpdateOfRowWithMarginsFollowsLengthOnly) {
  FirmwareTimer timer = ninetyMinutes();
  timer.timestampOffset = 5400 + 240;
  int64_t id = insertBeforeSave(timer);
  installDefaults();
  firmwareSetLength(dbPath, id, 2, 10, 1);
  EXPECT_EQ(row(id).timestampOffset, 5640 + 2400);
  firmwareSetOffset(dbPath, id, 99999);  // length unchanged: margins unchanged
  EXPECT_EQ(row(id).timestampOffset, 5640 + 2400);
}

TEST_F(Triggers, FirmwareLifeOfOneTimer) {
  installDefaults();
  int64_t id = firmwareInsert(dbPath, ninetyMinutes());
  EXPECT_EQ(row(id).timestampStart, start - 300);
  EXPECT_EQ(row(id).timestampOffset, 6300);
  firmwareMove(dbPath, id, 2030, 5, 4, 20, 0);  // one day later
  EXPECT_EQ(row(id).timestampStart, firmwareStartSeconds(2030, 5, 4, 20, 0) - 300);
  firmwareSetLength(dbPath, id, 2, 30);
  EXPECT_EQ(row(id).timestampOffset, 9900);
}

TEST_F(Triggers, MarkedWritesLoseMarkerAndKeepTimes) {
  installDefaults();
  FirmwareTimer marked = ninetyMinutes();
  marked.source = 110;
  marked.timestampStart = start - 42;
  marked.timestampOffset = 5400;
  int64_t id = firmwareInsert(dbPath, marked);
  EXPECT_EQ(row(id).source, 10);
  EXPECT_EQ(row(id).timestampStart, start - 42);
  EXPECT_EQ(row(id).timestampOffset, 5400);

  TestDb(dbPath).exec(
      "update timer_record_table set source = 101, timestamp_start = 5, "
      "timestamp_offset = 6, start_hour = 3 where ID = " +
      std::to_string(id));
  EXPECT_EQ(row(id).source, 1);
  EXPECT_EQ(row(id).timestampStart, 5);
  EXPECT_EQ(row(id).timestampOffset, 6);
}

TEST_F(Triggers, SourceExactlyHundredIsLeftAsWritten) {
  installDefaults();
  FirmwareTimer timer = ninetyMinutes();
  timer.source = 100;
  timer.timestampStart = 11;
  timer.timestampOffset = 22;
  int64_t id = firmwareInsert(dbPath, timer);
  EXPECT_EQ(row(id).source, 100);
  EXPECT_EQ(row(id).timestampStart, 11);
  EXPECT_EQ(row(id).timestampOffset, 22);
}

TEST_F(Triggers, UpdateOfOtherColumnsDoesNoTriggerWork) {
  FirmwareTimer timer = ninetyMinutes();
  timer.timestampStart = 11;
  timer.timestampOffset = 22;
  int64_t id = insertBeforeSave(timer);
  installDefaults();
  firmwareSetTitle(dbPath, id, "Renamed");
  EXPECT_EQ(row(id).timestampStart, 11);
  EXPECT_EQ(row(id).timestampOffset, 22);
  EXPECT_EQ(row(id).title, "Renamed");
}

TEST_F(Triggers, TriggersReadStartColumnsAsUtc) {
  // Whatever the local zone of the process that writes.
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  installDefaults();
  int64_t id = firmwareInsert(dbPath, ninetyMinutes());
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(row(id).timestampStart, start - P);
}

TEST_F(Triggers, NextSaveReplacesDefaultsInTriggers) {
  installDefaults();
  savePaddingDefaults(60, 0);
  int64_t id = firmwareInsert(dbPath, ninetyMinutes());
  EXPECT_EQ(row(id).timestampStart, start - 60);
  EXPECT_EQ(row(id).timestampOffset, 5400 + 60);
}

}  // namespace
