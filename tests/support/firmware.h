// A stand-in for the recorder firmware in tests: it writes timer rows the way
// the firmware does (its own connection, its own timestamp_start and
// timestamp_offset, never the web interface's source marker 100), reads rows
// back, and can hold the database locked from another process.
//
// Every function opens its own connection on dbPath for the one write, like
// the firmware process would, without a busy time-out. A failing statement
// fails the calling test.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

// The start columns read as a UTC date and time, in seconds since the epoch:
// what the padding triggers call the start seconds of a row.
int64_t firmwareStartSeconds(int year, int month, int day, int hour, int minute);
// length_hour * 3600 + length_minute * 60.
int64_t firmwareLengthSeconds(int hours, int minutes);

// One timer as the firmware inserts it. The defaults are a tuner timer for
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
  // The firmware's own times; none writes the start seconds and the length
  // seconds (a row without margins).
  std::optional<int64_t> timestampStart;
  std::optional<int64_t> timestampOffset;
  std::string title = "Firmware timer";
};

// Inserts the timer; returns its new ID.
int64_t firmwareInsert(const std::string& dbPath, const FirmwareTimer& timer);
// Moves the timer's start columns and writes timestamp_start (none: the new
// start seconds, as the firmware does when it reschedules).
void firmwareMove(const std::string& dbPath, int64_t id, int year, int month, int day, int hour,
                  int minute, std::optional<int64_t> timestampStart = std::nullopt);
// Writes timestamp_start alone, the start columns untouched.
void firmwareSetStart(const std::string& dbPath, int64_t id, int64_t timestampStart);
// Writes the length columns and timestamp_offset (none: the new length
// seconds).
void firmwareSetLength(const std::string& dbPath, int64_t id, int hours, int minutes,
                       std::optional<int64_t> timestampOffset = std::nullopt);
// Writes timestamp_offset alone.
void firmwareSetOffset(const std::string& dbPath, int64_t id, int64_t timestampOffset);
// Writes the title alone: an update that sets neither time column.
void firmwareSetTitle(const std::string& dbPath, int64_t id, const std::string& title);

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
};

// The row with that ID, or none.
std::optional<TimerRow> readTimerRow(const std::string& dbPath, int64_t id);
// The row with the highest ID (the newest insert), or none.
std::optional<TimerRow> readLastTimerRow(const std::string& dbPath);
// Number of rows of timer_record_table.
int64_t countTimerRows(const std::string& dbPath);

// Another process that holds a lock on the database from construction until
// destruction: kWriting holds it exclusively ("begin exclusive"), as the
// firmware does while it writes, so every other connection meets a locked
// database; kReading holds a read transaction open, which lets others read
// and begin writing but keeps them from committing.
class FirmwareLock {
 public:
  enum Mode { kWriting, kReading };
  explicit FirmwareLock(const std::string& dbPath, Mode mode = kWriting);
  ~FirmwareLock();
  FirmwareLock(const FirmwareLock&) = delete;
  FirmwareLock& operator=(const FirmwareLock&) = delete;
  // False when the other process could not take the lock.
  bool held() const { return held_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;  // closing it lets the holder end
  bool held_ = false;
};
