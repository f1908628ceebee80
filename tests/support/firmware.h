// A stand-in for the recorder firmware in tests: it writes timer rows the way
// the firmware does (its own connection per write, no busy time-out, its own
// timestamp_start and timestamp_offset, never the marker 100), reads rows
// back, and can hold the database locked from another process. A failing
// statement fails the calling test.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The start columns read as a UTC date and time (what the padding triggers
// call the start seconds of a row).
int64_t firmwareStartSeconds(int year, int month, int day, int hour, int minute);

// One timer as the firmware inserts it: by default a tuner timer for
// 2030-05-03 20:00, one hour long, active and unlocked.
struct FirmwareTimer {
  int32_t repeat = 0;  // the `date` column: 0 "Once" ... 11 "Sat"
  int32_t year = 2030, month = 5, day = 3, hour = 20, minute = 0;
  int32_t lengthHour = 1, lengthMinute = 0;
  int32_t source = 10;  // 10 tuner or 1 external input
  int32_t channel = 1;
  int32_t quality = 0, target = 0, sap = 0;
  int32_t enable = 0, lock = 0;  // enable: 0 = active
  int32_t datestamp = 0, scheduleType = 0, eventId = -1, userId = 0;
  // None: the start seconds and the length seconds (a row without margins).
  std::optional<int64_t> timestampStart;
  std::optional<int64_t> timestampOffset;
  std::string title = "Firmware timer";
};

// Inserts the timer; returns its new ID.
int64_t firmwareInsert(const std::string& dbPath, const FirmwareTimer& timer);
// Runs "update timer_record_table set <assignments> where ID = <id>".
void firmwareUpdate(const std::string& dbPath, int64_t id, const std::string& assignments);

// One row of timer_record_table as stored.
struct TimerRow {
  int64_t id = 0;
  int64_t datestamp = 0, repeat = 0;
  int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  int64_t lengthHour = 0, lengthMinute = 0;
  int64_t source = 0, channel = 0, quality = 0, target = 0, sap = 0;
  int64_t timestampStart = 0, timestampOffset = 0;
  int64_t enable = 0, lock = 0, scheduleType = 0, eventId = 0, userId = 0;
  std::string title;
  // Every integer column but ID, in the table's order.
  std::vector<int64_t> numbers() const;
};

// The row with that ID, or none.
std::optional<TimerRow> readTimerRow(const std::string& dbPath, int64_t id);
// The row with the highest ID (the newest insert), or none.
std::optional<TimerRow> readLastTimerRow(const std::string& dbPath);
int64_t countTimerRows(const std::string& dbPath);

// Another process that holds a lock on the database while this lives, or
// for releaseAfterMs when that is given:
//   kExclusive  "begin exclusive", as the firmware holds it while it writes:
//               nobody else can read or write;
//   kImmediate  "begin immediate", a write begun but not committed: others
//               can read, but not begin writing;
//   kReading    a select stepped once and neither reset nor finalised: others
//               can read and begin writing, but cannot commit.
class FirmwareLock {
 public:
  enum Mode { kExclusive, kImmediate, kReading };
  explicit FirmwareLock(const std::string& dbPath, Mode mode = kExclusive,
                        std::optional<int> releaseAfterMs = std::nullopt);
  ~FirmwareLock();
  FirmwareLock(const FirmwareLock&) = delete;
  FirmwareLock& operator=(const FirmwareLock&) = delete;
  bool held() const { return held_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;  // closing it lets the holder end
  bool held_ = false;
};

// The name of a lock mode, for test traces.
const char* lockModeName(FirmwareLock::Mode mode);
