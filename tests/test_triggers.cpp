// What the padding triggers do to the firmware's own writes, with the
// defaults P = 300 (pre) and Q = 600 (post), T = 900.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "model/timer.h"
#include "platform/local_time.h"
#include "store/padding_defaults.h"
#include "store/timer_write.h"
#include "support/firmware.h"
#include "support/timer_store_test.h"

namespace {

constexpr int64_t P = 300;
constexpr int64_t T = 900;

// The instant that the program reads the row's start columns as.
int64_t programReading(const TimerRow& row) {
  std::tm fields{};
  fields.tm_year = static_cast<int>(row.year - 1900);
  fields.tm_mon = static_cast<int>(row.month - 1);
  fields.tm_mday = static_cast<int>(row.day);
  fields.tm_hour = static_cast<int>(row.hour);
  fields.tm_min = static_cast<int>(row.minute);
  return localTimeInstant(fields);
}

class Triggers : public TimerStoreTest {
 protected:
  void installDefaults() { savePaddingDefaults(static_cast<int32_t>(P), 600); }
  // A 1 hour 30 minutes timer with the given source and firmware times.
  int64_t insert(int64_t source = 10, std::optional<int64_t> tsStart = std::nullopt,
                 std::optional<int64_t> tsOffset = std::nullopt) {
    FirmwareTimer timer;
    timer.lengthMinute = 30;
    timer.source = static_cast<int32_t>(source);
    timer.timestampStart = tsStart;
    timer.timestampOffset = tsOffset;
    return firmwareInsert(dbPath, timer);
  }
  TimerRow row(int64_t id) {
    std::optional<TimerRow> found = readTimerRow(dbPath, id);
    EXPECT_TRUE(found);
    return found.value_or(TimerRow{});
  }
  // 2030-05-03 20:00 as the triggers read the start columns.
  const int64_t start = firmwareStartSeconds(2030, 5, 3, 20, 0);
};

TEST_F(Triggers, NetEffectOfEachKindOfWrite) {
  const int64_t nextDay = firmwareStartSeconds(2030, 5, 4, 20, 0);
  struct Case {
    const char* write;
    bool beforeSave;  // inserted before the triggers exist: keeps the firmware's times
    int64_t source;
    std::optional<int64_t> tsStart, tsOffset;
    std::string update;  // assignments of a later firmware update, or none
    int64_t expectedStart, expectedOffset, expectedSource;
  } cases[] = {
      {"insert without margins", false, 10, {}, {}, "", start - P, 5400 + T, 10},
      {"insert with margins", false, 10, start - 60, 5580, "", start - P, 5580, 10},
      {"move with a timestamp of its own keeps the distance",
       true,
       10,
       start - 120,
       {},
       "date_day = 4, start_hour = 21, start_minute = 30, timestamp_start = 12345",
       firmwareStartSeconds(2030, 5, 4, 21, 30) - 120,
       5400,
       10},
      {"move of a defaulted timer one day",
       false,
       10,
       {},
       {},
       "date_day = 4, timestamp_start = " + std::to_string(nextDay),
       nextDay - P,
       5400 + T,
       10},
      {"timestamp_start alone", true, 10, {}, {}, "timestamp_start = 777", start - P, 5400, 10},
      {"offset of a row without margins",
       true,
       10,
       {},
       {},
       "length_hour = 2, length_minute = 0, timestamp_offset = 1",
       start,
       7200 + T,
       10},
      {"offset of a row with margins follows the length",
       true,
       10,
       {},
       5640,
       "length_hour = 2, length_minute = 10, timestamp_offset = 1",
       start,
       5640 + 2400,
       10},
      {"offset alone of a row with margins",
       true,
       10,
       {},
       5640,
       "timestamp_offset = 99999",
       start,
       5640,
       10},
      {"defaulted timer lengthened to 2:30",
       false,
       10,
       {},
       {},
       "length_hour = 2, length_minute = 30, timestamp_offset = 9000",
       start - P,
       9900,
       10},
      {"marked insert", false, 110, start - 42, 5400, "", start - 42, 5400, 10},
      {"marked update",
       false,
       10,
       {},
       {},
       "source = 101, timestamp_start = 5, timestamp_offset = 6, start_hour = 3",
       5,
       6,
       1},
      {"source exactly 100", false, 100, 11, 22, "", 11, 22, 100},
      {"update of neither time column", true, 10, 11, 22, "user_string = 'Renamed'", 11, 22, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.write);
    TestDb(dbPath).exec(
        "drop trigger if exists ins_padding; drop trigger if exists upd_prepadding;"
        "drop trigger if exists upd_postpadding");
    if (!c.beforeSave) installDefaults();
    int64_t id = insert(c.source, c.tsStart, c.tsOffset);
    installDefaults();
    if (!c.update.empty()) firmwareUpdate(dbPath, id, c.update);
    TimerRow result = row(id);
    EXPECT_EQ(result.timestampStart, c.expectedStart);
    EXPECT_EQ(result.timestampOffset, c.expectedOffset);
    EXPECT_EQ(result.source, c.expectedSource);
  }
}

// The triggers read the start columns as local time of the process that
// writes the row: a firmware timer for 20:15 gets its default margin before
// 20:15 local time, and a firmware move across a clock change keeps both the
// entered 20:15 and the margin.
TEST_F(Triggers, ReadStartColumnsAsLocalTimeOfTheWriter) {
  struct Case {
    const char* zone;
    int month, day;       // 2027, 20:15 local as inserted
    int64_t offset;       // seconds east of UTC then
    int movedDay;         // the firmware moves the start to this day, same month
    int64_t movedOffset;  // seconds east of UTC on that day
  } cases[] = {
      {"UTC", 3, 27, 0, 29, 0},
      {"Europe/Berlin", 3, 27, 3600, 29, 7200},      // summer time from Sunday 28
      {"Europe/Berlin", 10, 30, 7200, 31, 3600},     // winter time from Sunday 31
      {"Australia/Sydney", 4, 3, 39600, 4, 36000},   // standard time from Sunday 4
      {"Australia/Sydney", 10, 2, 36000, 3, 39600},  // summer time from Sunday 3
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.month) + "/" + std::to_string(c.day));
    useTimeZone(c.zone);
    installDefaults();
    FirmwareTimer timer;
    timer.year = 2027;
    timer.month = c.month;
    timer.day = c.day;
    timer.hour = 20;
    timer.minute = 15;
    timer.timestampStart = 1;  // the firmware's own value: replaced by the default margin
    int64_t id = firmwareInsert(dbPath, timer);
    EXPECT_EQ(row(id).timestampStart,
              firmwareStartSeconds(2027, c.month, c.day, 20, 15) - c.offset - P);
    firmwareUpdate(dbPath, id,
                   "date_day = " + std::to_string(c.movedDay) + ", timestamp_start = 7");
    EXPECT_EQ(row(id).timestampStart,
              firmwareStartSeconds(2027, c.month, c.movedDay, 20, 15) - c.movedOffset - P);
  }
  useTimeZone("UTC");
}

// One reading of a local wall time: for every zone and every kind of hour,
// the firmware's row (start read by the triggers) and the interface's row
// (start read by the program) hold the same instant, and the program reads
// both rows' columns back as that instant, so the list's margins are the
// defaults. The skipped hour moves forward by the change; the repeated hour
// is read as the later of the two.
TEST_F(Triggers, FirmwareAndInterfaceRowsReadTheSameInstantInEveryHour) {
  constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
  constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
  constexpr const char* kSydney = "AEST-10AEDT,M10.1.0,M4.1.0/3";
  // West of UTC and south of the equator, changing at 24:00.
  constexpr const char* kSouthWest = "<-04>4<-03>,M9.1.6/24,M4.1.6/24";
  struct Case {
    const char* zone;
    const char* hour;
    int year, month, day, hh, mm;  // the start columns as written
    int64_t utc;                   // the instant they stand for
  } cases[] = {
      {kBerlin, "normal", 2027, 6, 15, 20, 15, firmwareStartSeconds(2027, 6, 15, 18, 15)},
      {kBerlin, "skipped", 2027, 3, 28, 2, 30, firmwareStartSeconds(2027, 3, 28, 1, 30)},
      {kBerlin, "doubled", 2027, 10, 31, 2, 30, firmwareStartSeconds(2027, 10, 31, 1, 30)},
      {kBerlin, "last minute of 32 bits", 2038, 1, 19, 4, 14, 2147483640},
      {kBerlin, "past 32 bits", 2039, 6, 15, 20, 15, firmwareStartSeconds(2039, 6, 15, 18, 15)},
      {kNewYork, "normal", 2027, 6, 15, 20, 15, firmwareStartSeconds(2027, 6, 16, 0, 15)},
      {kNewYork, "skipped", 2027, 3, 14, 2, 30, firmwareStartSeconds(2027, 3, 14, 7, 30)},
      {kNewYork, "doubled", 2027, 11, 7, 1, 30, firmwareStartSeconds(2027, 11, 7, 6, 30)},
      {kNewYork, "past 32 bits", 2039, 6, 15, 20, 15, firmwareStartSeconds(2039, 6, 16, 0, 15)},
      {kSydney, "normal", 2027, 6, 15, 20, 15, firmwareStartSeconds(2027, 6, 15, 10, 15)},
      {kSydney, "skipped", 2027, 10, 3, 2, 30, firmwareStartSeconds(2027, 10, 2, 16, 30)},
      {kSydney, "doubled", 2027, 4, 4, 2, 30, firmwareStartSeconds(2027, 4, 3, 16, 30)},
      {kSydney, "past 32 bits", 2039, 1, 15, 20, 15, firmwareStartSeconds(2039, 1, 15, 9, 15)},
      {kSouthWest, "skipped", 2027, 9, 5, 0, 30, firmwareStartSeconds(2027, 9, 5, 4, 30)},
      {kSouthWest, "doubled", 2027, 4, 3, 23, 30, firmwareStartSeconds(2027, 4, 4, 3, 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + c.hour);
    useTimeZone(c.zone);
    installDefaults();
    FirmwareTimer timer;
    timer.year = c.year, timer.month = c.month, timer.day = c.day;
    timer.hour = c.hh, timer.minute = c.mm;
    const TimerRow firmware = row(firmwareInsert(dbPath, timer));
    EXPECT_EQ(firmware.timestampStart, c.utc - P);
    EXPECT_EQ(programReading(firmware), c.utc);

    if (c.utc >= INT32_MAX) continue;  // the interface refuses such a timer
    TimerValues values;
    values.year = c.year, values.month = c.month, values.day = c.day, values.hh = c.hh;
    values.mm = c.mm;
    values.prepad = static_cast<int32_t>(P);
    createTimer(values);
    const TimerRow interface = *readLastTimerRow(dbPath);
    EXPECT_EQ(interface.timestampStart, c.utc - P);
    EXPECT_EQ(programReading(interface), c.utc);
  }
  useTimeZone("UTC");
}

TEST_F(Triggers, NextSaveReplacesDefaultsInTriggers) {
  installDefaults();
  savePaddingDefaults(60, 0);
  int64_t id = insert();
  EXPECT_EQ(row(id).timestampStart, start - 60);
  EXPECT_EQ(row(id).timestampOffset, 5400 + 60);
}

}  // namespace
