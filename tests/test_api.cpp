// The JSON interface's own rules: the times it reads and writes, and the
// version of a stored timer.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "app/api_call.h"
#include "store/timer_rows.h"
#include "store/timer_write.h"
#include "support/timer_store_test.h"
#include "views/json/timer_json.h"

namespace {

// Central European time, whose clocks go forward on 28 March 2027 at 02:00.
class ZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_F(ZoneTest, TimesAreReadWithAnyOffsetAndWrittenInTheRecordersOwn) {
  struct Row {
    const char* sent;
    const char* written;  // "" when refused
  };
  const Row rows[] = {
      {"2031-03-14T20:15:00+01:00", "2031-03-14T20:15:00+01:00"},
      {"2031-03-14T19:15:00Z", "2031-03-14T20:15:00+01:00"},
      {"2031-03-14t14:15:00.000-05:00", "2031-03-14T20:15:00+01:00"},
      // Either side of the spring change, and summer time itself.
      {"2027-03-28T00:59:00Z", "2027-03-28T01:59:00+01:00"},
      {"2027-03-28T01:00:00Z", "2027-03-28T03:00:00+02:00"},
      {"2027-07-01T12:00:00+00:00", "2027-07-01T14:00:00+02:00"},
      {"2028-02-29T10:00:00Z", "2028-02-29T11:00:00+01:00"},
      // What the recorder cannot book, or that is not such a time.
      {"2027-02-29T10:00:00Z", ""},
      {"2031-04-31T10:00:00Z", ""},
      {"2031-03-14T20:15:30+01:00", ""},
      {"2031-03-14T20:15:00.5+01:00", ""},
      {"2031-03-14T20:15:00", ""},
      {"2031-03-14 20:15:00Z", ""},
      {"2031-03-14T24:00:00Z", ""},
      {"2031-3-14T20:15:00Z", ""},
      {"2031-03-14T20:15:00+1:00", ""},
      {"2031-03-14T20:15:00+01:00 ", ""},
      {"", ""},
  };
  for (const Row& row : rows) {
    const std::optional<int64_t> instant = readRfc3339(row.sent);
    const std::string written = instant ? rfc3339(*instant, ZoneOffsets{}) : "";
    EXPECT_EQ(written, row.written) << row.sent;
  }
}

using TimerRecordTest = TimerStoreTest;

// A client that read a version must learn of any later write: the page's,
// another client's, or the firmware's to a column the interface never shows.
TEST_F(TimerRecordTest, VersionChangesWithEveryStoredColumnAndOnlyThen) {
  TimerValues values;
  values.channel = 5;
  values.day = 14;
  values.month = 3;
  values.year = 2031;
  values.hh = 20;
  values.mm = 15;
  values.hours = 1;
  values.title = "News & Weather <live>";
  createTimer(values);
  const std::vector<TimerRecord> first = readTimerRecords();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].version.size(), 16u);
  EXPECT_FALSE(first[0].fromFirmware);
  EXPECT_EQ(readTimerRecords(first[0].row.id).at(0).version, first[0].version);
  EXPECT_TRUE(readTimerRecords(first[0].row.id + 1).empty());

  const char* writes[] = {
      "update timer_record_table set SAP = 1",
      "update timer_record_table set user_string = 'News & Weather <live> '",
      "update timer_record_table set start_minute = '16'",
      "update timer_record_table set event_id = 4711",
  };
  std::string previous = first[0].version;
  for (const char* write : writes) {
    ASSERT_EQ(sqlite3_exec(web_sched_db, write, nullptr, nullptr, nullptr), SQLITE_OK);
    const TimerRecord record = readTimerRecords().at(0);
    EXPECT_NE(record.version, previous) << write;
    previous = record.version;
  }
  // A guide event is the firmware's mark.
  EXPECT_TRUE(readTimerRecords().at(0).fromFirmware);
}

}  // namespace
