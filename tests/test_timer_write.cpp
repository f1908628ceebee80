// Creating and updating timers in a real timer database: the columns
// written, channel and source codes, margins, local time and its change
// nights, failures. The booking rules alone are in test_booking.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>

#include "model/booking.h"
#include "model/timer.h"
#include "quib/quib.h"
#include "store/padding_defaults.h"
#include "store/timer_write.h"
#include "support/firmware.h"
#include "support/timer_store_test.h"

namespace {

constexpr int64_t kDay = 86400;

// The form's texts of one timer, read as the request reads them.
struct Form {
  std::string channel = "7", day = "3", month = "5", year = "2030", hh = "20", mm = "0";
  std::string hours = "1", mins = "30";
  int32_t prepad = 0, postpad = 0;
  std::string repeat = "0", title = "Evening news", quality = "0", target = "0", disabled = "0";

  TimerValues values() const {
    TimerValues v;
    v.channel = quibAtoi(channel);
    v.day = quibAtoi(day);
    v.month = quibAtoi(month);
    v.year = quibAtoi(year);
    v.hh = quibAtoi(hh);
    v.mm = quibAtoi(mm);
    v.hours = quibAtoi(hours);
    v.mins = quibAtoi(mins);
    v.prepad = prepad;
    v.postpad = postpad;
    v.repeat = quibAtoi(repeat);
    v.title = title;
    v.quality = quibAtoi(quality);
    v.target = quibAtoi(target);
    v.disabled = quibAtoi(disabled);
    return v;
  }
};

class TimerWrite : public TimerStoreTest {
 protected:
  void TearDown() override {
    useTimeZone("UTC");
    TimerStoreTest::TearDown();
  }
  TimerRow create(const Form& form) {
    EXPECT_EQ(createTimer(form.values()), 0);
    std::optional<TimerRow> row = readLastTimerRow(dbPath);
    EXPECT_TRUE(row);
    return row.value_or(TimerRow{});
  }
};

TEST_F(TimerWrite, CreateWritesEveryColumn) {
  Form form;
  form.prepad = 300;
  form.postpad = 600;
  form.title = "News & Weather <live>";
  form.quality = "1";
  form.target = "1";
  form.disabled = "1";
  TimerRow row = create(form);
  EXPECT_EQ(row.datestamp, 0);
  EXPECT_EQ(row.repeat, 0);
  EXPECT_EQ(row.year, 2030);
  EXPECT_EQ(row.month, 5);
  EXPECT_EQ(row.day, 3);
  EXPECT_EQ(row.hour, 20);
  EXPECT_EQ(row.minute, 0);
  EXPECT_EQ(row.lengthHour, 1);
  EXPECT_EQ(row.lengthMinute, 30);
  EXPECT_EQ(row.source, 10);
  EXPECT_EQ(row.channel, 7);
  EXPECT_EQ(row.quality, 1);
  EXPECT_EQ(row.target, 1);
  EXPECT_EQ(row.sap, 0);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2030, 5, 3, 20, 0) - 300);
  EXPECT_EQ(row.timestampOffset, 6300);
  EXPECT_EQ(row.enable, 1);
  EXPECT_EQ(row.lock, 0);
  EXPECT_EQ(row.scheduleType, 0);
  EXPECT_EQ(row.eventId, -1);
  EXPECT_EQ(row.userId, 0);
  EXPECT_EQ(row.title, "News & Weather <live>");
}

TEST_F(TimerWrite, OutOfRangeFieldsAreNormalised) {
  Form late;
  late.hh = "23";
  late.mm = "75";
  TimerRow row = create(late);
  EXPECT_EQ(row.day, 4);
  EXPECT_EQ(row.hour, 0);
  EXPECT_EQ(row.minute, 15);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2030, 5, 4, 0, 15));

  Form april;
  april.day = "31";
  april.month = "4";
  row = create(april);
  EXPECT_EQ(row.month, 5);
  EXPECT_EQ(row.day, 1);

  // The length is stored as sent: mins 90 stays 90.
  Form length;
  length.hours = "0";
  length.mins = "90";
  row = create(length);
  EXPECT_EQ(row.lengthHour, 0);
  EXPECT_EQ(row.lengthMinute, 90);
  EXPECT_EQ(row.timestampOffset, 5400);
}

TEST_F(TimerWrite, ChannelTextDecidesSourceAndChannel) {
  struct Case {
    const char* channel;
    int64_t source, number;
  } cases[] = {
      {"AV", 1, 1},    {"-1", 1, 1},         {"0", 1, 1},     {"7", 10, 7},  {"65543", 10, 7},
      {"32768", 1, 1}, {"32767", 10, 32767}, {"65535", 1, 1}, {"%31", 1, 1}, {"", 1, 1},
  };
  for (const Case& c : cases) {
    Form form;
    form.channel = c.channel;
    TimerRow row = create(form);
    EXPECT_EQ(row.source, c.source) << c.channel;
    EXPECT_EQ(row.channel, c.number) << c.channel;
  }
}

TEST_F(TimerWrite, MarginsFoldIntoRecordingWindow) {
  Form form;
  form.prepad = 300;
  form.postpad = 600;
  TimerRow row = create(form);
  int64_t start = firmwareStartSeconds(2030, 5, 3, 20, 0);
  EXPECT_EQ(row.timestampStart, start - 300);
  EXPECT_EQ(row.timestampOffset, 6300);
  EXPECT_EQ(row.hour, 20);  // the start columns hold the start without margin

  // Negative margins shorten the window.
  form.prepad = -120;
  form.postpad = -60;
  row = create(form);
  EXPECT_EQ(row.timestampStart, start + 120);
  EXPECT_EQ(row.timestampOffset, 5400 - 180);
}

TEST_F(TimerWrite, MarkedWriteEndsWithPlainSourceAndOwnTimes) {
  savePaddingDefaults(300, 600);
  Form form;
  form.prepad = 120;
  form.postpad = 0;
  TimerRow row = create(form);
  EXPECT_EQ(row.source, 10);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2030, 5, 3, 20, 0) - 120);
  EXPECT_EQ(row.timestampOffset, 120 + 5400);

  form.channel = "AV";
  row = create(form);
  EXPECT_EQ(row.source, 1);
  EXPECT_EQ(row.channel, 1);

  form.channel = "7";
  form.hh = "6";
  form.prepad = 0;
  updateTimer(static_cast<int32_t>(row.id), form.values());
  row = *readTimerRow(dbPath, row.id);
  EXPECT_EQ(row.source, 10);
  EXPECT_EQ(row.hour, 6);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2030, 5, 3, 6, 0));
  EXPECT_EQ(row.timestampOffset, 5400);
}

TEST_F(TimerWrite, UpdateRewritesFormColumnsOnly) {
  FirmwareTimer timer;
  timer.datestamp = 99;
  timer.sap = 2;
  timer.lock = 1;
  timer.scheduleType = 3;
  timer.eventId = 4711;
  timer.userId = 8;
  timer.quality = 1;
  int64_t id = firmwareInsert(dbPath, timer);
  int64_t other = firmwareInsert(dbPath, FirmwareTimer{});

  Form form;
  form.channel = "AV";
  form.day = "9";
  form.month = "6";
  form.year = "2031";
  form.hh = "7";
  form.mm = "5";
  form.hours = "2";
  form.mins = "0";
  form.prepad = 60;
  form.postpad = 60;
  form.repeat = "1";
  form.title = "Renamed";
  form.quality = "0";
  form.target = "1";
  form.disabled = "1";
  EXPECT_EQ(updateTimer(static_cast<int32_t>(id), form.values()), 0);
  TimerRow row = *readTimerRow(dbPath, id);
  EXPECT_EQ(row.repeat, 1);
  EXPECT_EQ(row.year, 2031);
  EXPECT_EQ(row.month, 6);
  EXPECT_EQ(row.day, 9);
  EXPECT_EQ(row.hour, 7);
  EXPECT_EQ(row.minute, 5);
  EXPECT_EQ(row.lengthHour, 2);
  EXPECT_EQ(row.source, 1);
  EXPECT_EQ(row.channel, 1);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2031, 6, 9, 7, 5) - 60);
  EXPECT_EQ(row.timestampOffset, 7320);
  EXPECT_EQ(row.title, "Renamed");
  EXPECT_EQ(row.quality, 0);
  EXPECT_EQ(row.target, 1);
  EXPECT_EQ(row.enable, 1);
  // Not the form's: kept as the firmware wrote them.
  EXPECT_EQ(row.datestamp, 99);
  EXPECT_EQ(row.sap, 2);
  EXPECT_EQ(row.lock, 1);
  EXPECT_EQ(row.scheduleType, 3);
  EXPECT_EQ(row.eventId, 4711);
  EXPECT_EQ(row.userId, 8);
  EXPECT_EQ(readTimerRow(dbPath, other)->title, "Firmware timer");
  EXPECT_EQ(countTimerRows(dbPath), 2);
}

TEST_F(TimerWrite, UpdateOfIdZeroOrUnknownIdChangesNothing) {
  int64_t id = firmwareInsert(dbPath, FirmwareTimer{});
  ASSERT_EQ(id, 1);
  TimerRow before = *readTimerRow(dbPath, id);
  Form form;
  form.title = "Changed";
  EXPECT_EQ(updateTimer(0, form.values()), 0);
  EXPECT_EQ(updateTimer(2, form.values()), 0);
  EXPECT_EQ(readTimerRow(dbPath, id)->title, before.title);
  EXPECT_EQ(countTimerRows(dbPath), 1);
}

// Run by CTest under faketime at Friday 2026-12-04 19:58 in Berlin
// (tests/timer_write_pinned_clock.cmake); skipped in the ordinary run.
TEST_F(TimerWrite, PinnedClockFridayEveningMonFriGoesToMonday) {
  if (!std::getenv("FAKETIME")) GTEST_SKIP() << "needs the pinned clock";
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  ASSERT_EQ(local.tm_year + 1900, 2026);
  ASSERT_EQ(local.tm_mon + 1, 12);
  ASSERT_EQ(local.tm_mday, 4);
  ASSERT_EQ(local.tm_hour, 19);
  ASSERT_GE(local.tm_min, 58);
  Form form;
  form.repeat = "2";
  form.year = "2026";
  form.month = "12";
  form.day = "4";
  form.hh = "20";
  form.mm = "0";
  TimerRow row = create(form);
  EXPECT_EQ(row.day, 7);
  EXPECT_EQ(row.hour, 20);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2026, 12, 7, 19, 0));  // 20:00 CET
  // A "Once" timer an hour in the past stays where it was entered.
  form.repeat = "0";
  form.hh = "18";
  form.mm = "58";
  row = create(form);
  EXPECT_EQ(row.day, 4);
  EXPECT_EQ(row.hour, 18);
}

// ---------------------------------------------------------------------------
// Local time in Berlin.
// ---------------------------------------------------------------------------

TEST_F(TimerWrite, BerlinLocalTimeAndNormalisation) {
  useTimeZone("Europe/Berlin");
  Form summer;  // 2030-05-03 20:00 CEST is 18:00 UTC
  summer.prepad = 60;
  TimerRow row = create(summer);
  EXPECT_EQ(row.hour, 20);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2030, 5, 3, 18, 0) - 60);

  Form winter;  // 2030-01-31 23:75 CET is 2030-02-01 00:15, 23:15 UTC
  winter.year = "2030";
  winter.month = "1";
  winter.day = "31";
  winter.hh = "23";
  winter.mm = "75";
  row = create(winter);
  EXPECT_EQ(row.month, 2);
  EXPECT_EQ(row.day, 1);
  EXPECT_EQ(row.hour, 0);
  EXPECT_EQ(row.minute, 15);
  EXPECT_EQ(row.timestampStart, firmwareStartSeconds(2030, 1, 31, 23, 15));
}

// Create, update and each repeat move across the change nights of a northern
// and a southern zone keep the entered 20:15 local time; UTC as before.
TEST_F(TimerWrite, ChangeNightsKeepEnteredLocalTime) {
  struct Case {
    const char* zone;
    const char* repeat;
    int month, day;   // 2027, entered for 20:15
    int expectedDay;  // same month, stored
    int64_t offset;   // seconds east of UTC on the stored day
  } cases[] = {
      {"UTC", "2", 3, 27, 29, 0},
      {"Europe/Berlin", "0", 3, 28, 28, 7200},     // the spring change day itself
      {"Europe/Berlin", "2", 3, 27, 29, 7200},     // Mon-Fri: Saturday to Monday
      {"Europe/Berlin", "3", 3, 28, 29, 7200},     // Mon-Sat: Sunday to Monday
      {"Europe/Berlin", "4", 3, 24, 27, 3600},     // Every Weekend: to Saturday, before
      {"Europe/Berlin", "5", 10, 27, 31, 3600},    // Sun: Wednesday to the autumn Sunday
      {"Europe/Berlin", "4", 10, 29, 30, 7200},    // Every Weekend: Friday to Saturday
      {"Europe/Berlin", "2", 10, 30, 1, 3600},     // Mon-Fri: to Monday 1 November
      {"Australia/Sydney", "5", 3, 31, 4, 36000},  // Sun: to 4 April, standard time
      {"Australia/Sydney", "2", 10, 2, 4, 39600},  // Mon-Fri: to 4 October, summer time
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " repeat " + c.repeat + " " + std::to_string(c.month) + "/" +
                 std::to_string(c.day));
    useTimeZone(c.zone);
    int expectedMonth = c.expectedDay < c.day ? c.month + 1 : c.month;
    Form form;
    form.repeat = c.repeat;
    form.year = "2027";
    form.month = std::to_string(c.month);
    form.day = std::to_string(c.day);
    form.hh = "20";
    form.mm = "15";
    form.prepad = 300;
    TimerRow row = create(form);
    int64_t expectedStart =
        firmwareStartSeconds(2027, expectedMonth, c.expectedDay, 20, 15) - c.offset - 300;
    EXPECT_EQ(row.repeat, std::atoi(c.repeat));
    EXPECT_EQ(row.month, expectedMonth);
    EXPECT_EQ(row.day, c.expectedDay);
    EXPECT_EQ(row.hour, 20);
    EXPECT_EQ(row.minute, 15);
    EXPECT_EQ(row.timestampStart, expectedStart);
    // The update of that timer from the same form lands on the same row values.
    EXPECT_EQ(updateTimer(static_cast<int32_t>(row.id), form.values()), 0);
    TimerRow updated = *readTimerRow(dbPath, row.id);
    EXPECT_EQ(updated.day, c.expectedDay);
    EXPECT_EQ(updated.hour, 20);
    EXPECT_EQ(updated.timestampStart, expectedStart);
  }
}

// ---------------------------------------------------------------------------
// Hostile input: 32-bit arithmetic wraps as on the device, nothing crashes.
// ---------------------------------------------------------------------------

int32_t wrapped(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

TEST_F(TimerWrite, ExtremeValuesWrapLikeTheDevice) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  Form form;
  form.hours = "2147483647";
  form.mins = "99999999999";  // saturates at the 32-bit limit
  form.prepad = kMax;
  form.postpad = kMax;
  form.channel = "-2147483648";
  TimerRow row = create(form);
  EXPECT_EQ(row.lengthHour, kMax);
  EXPECT_EQ(row.lengthMinute, kMax);
  EXPECT_EQ(row.timestampOffset,
            wrapped(int64_t{kMax} * 2 + int64_t{kMax} * 3600 + int64_t{kMax} * 60));
  EXPECT_EQ(row.timestampStart, wrapped(firmwareStartSeconds(2030, 5, 3, 20, 0) - kMax));
  EXPECT_EQ(row.source, 1);  // low 16 bits 0: not a tuner channel

  // Fields far outside any calendar, with the largest repeat codes.
  for (const char* repeat : {"2147483647", "-2147483648", "5"}) {
    Form wild;
    wild.year = "2147483647";
    wild.month = "-2147483648";
    wild.day = "2147483647";
    wild.hh = "-2147483648";
    wild.mm = "2147483647";
    wild.repeat = repeat;
    wild.prepad = kMin;
    wild.postpad = kMin;
    wild.hours = "-2147483648";
    wild.mins = "-2147483648";
    EXPECT_EQ(createTimer(wild.values()), 0);
  }
  EXPECT_EQ(countTimerRows(dbPath), 4);
  std::tm fields{};
  adjustBookTime(kMax, kMax, fields);
  adjustBookTime(kMin, 4, fields);
  EXPECT_EQ(adjustSeconds(0, kMax), wrapped(-int64_t{kMax} * kDay));
}

// ---------------------------------------------------------------------------
// Failures end the request with the "SQL error code" line and status 1; no
// row is written.
// ---------------------------------------------------------------------------

TEST_F(TimerWrite, MissingTimerTableFailsAtPrepare) {
  TestDb(dbPath).exec("drop table timer_record_table");
  EXPECT_STORE_FAILURE(createTimer(Form{}.values()),
                       sqlErrorLine(1, "no such table: timer_record_table", 20));
}

TEST_F(TimerWrite, WriteRefusedUnderLockIsReported) {
  getSettings();
  loadSchema();
  int64_t id = firmwareInsert(dbPath, FirmwareTimer{});
  {
    FirmwareLock lock(dbPath);
    EXPECT_STORE_FAILURE(createTimer(Form{}.values()), sqlErrorLine(5, "database is locked", 24));
    EXPECT_STORE_FAILURE(updateTimer(static_cast<int32_t>(id), Form{}.values()),
                         sqlErrorLine(5, "database is locked", 24));
  }
  EXPECT_EQ(countTimerRows(dbPath), 1);
  EXPECT_EQ(readTimerRow(dbPath, id)->title, "Firmware timer");
}

TEST_F(TimerWrite, ReadOnlyDatabaseIsReported) {
  openTimerDb(SQLITE_OPEN_READONLY);
  EXPECT_STORE_FAILURE(createTimer(Form{}.values()),
                       sqlErrorLine(8, "attempt to write a readonly database", 24));
  EXPECT_EQ(countTimerRows(dbPath), 0);
}

TEST_F(TimerWrite, WriteRefusedByDatabaseIsReported) {
  TestDb(dbPath).exec(
      "create trigger no_av before insert on timer_record_table when new.source % 100 = 1 "
      "begin select raise(abort, 'no external input'); end");
  Form form;
  form.channel = "AV";
  EXPECT_STORE_FAILURE(createTimer(form.values()), sqlErrorLine(19, "no external input", 24));
  EXPECT_EQ(countTimerRows(dbPath), 0);
}

}  // namespace
