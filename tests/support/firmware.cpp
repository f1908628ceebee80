#include "support/firmware.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "support/test_env.h"

namespace {

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

// Prepares sql on db and binds the values to ?1, ?2, ... in order.
Statement prepare(TestDb& db, const std::string& sql, std::initializer_list<int64_t> values) {
  sqlite3_stmt* raw = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &raw, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(db.handle());
  int index = 1;
  for (int64_t value : values) sqlite3_bind_int64(raw, index++, value);
  return Statement(raw, sqlite3_finalize);
}

// The integer columns but ID, in the order of the select below.
template <typename Row>
auto integerColumns(Row& row) {
  return std::array{&row.datestamp,    &row.repeat, &row.year,           &row.month,
                    &row.day,          &row.hour,   &row.minute,         &row.lengthHour,
                    &row.lengthMinute, &row.source, &row.channel,        &row.quality,
                    &row.target,       &row.sap,    &row.timestampStart, &row.timestampOffset,
                    &row.enable,       &row.lock,   &row.scheduleType,   &row.eventId,
                    &row.userId};
}

std::optional<TimerRow> readRow(const std::string& dbPath, const std::string& condition,
                                std::initializer_list<int64_t> values) {
  TestDb db(dbPath);
  Statement statement = prepare(
      db,
      "select ID, datestamp, date, date_year, date_month, date_day, start_hour, start_minute, "
      "length_hour, length_minute, source, channel, quality, target, SAP, timestamp_start, "
      "timestamp_offset, enable, lock, schedule_type, event_id, user_id, user_string "
      "from timer_record_table " +
          condition,
      values);
  if (sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
  TimerRow row;
  row.id = sqlite3_column_int64(statement.get(), 0);
  int index = 1;
  for (int64_t* column : integerColumns(row)) {
    *column = sqlite3_column_int64(statement.get(), index++);
  }
  const unsigned char* title = sqlite3_column_text(statement.get(), index);
  row.title = title ? reinterpret_cast<const char*>(title) : "";
  return row;
}

}  // namespace

std::vector<int64_t> TimerRow::numbers() const {
  std::vector<int64_t> result;
  for (const int64_t* column : integerColumns(*this)) result.push_back(*column);
  return result;
}

// Counted in 64 bits without time_t, which holds no date past 2038 on a
// 32-bit build (a date of the Gregorian calendar from 1 March 0 on).
int64_t firmwareStartSeconds(int year, int month, int day, int hour, int minute) {
  const int64_t y = int64_t{year} - (month <= 2 ? 1 : 0);
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t days = y * 365 + y / 4 - y / 100 + y / 400 + dayOfYear - 719468;
  return days * 86400 + int64_t{hour} * 3600 + int64_t{minute} * 60;
}

int64_t firmwareInsert(const std::string& dbPath, const FirmwareTimer& timer) {
  TestDb db(dbPath);
  int64_t start = timer.timestampStart.value_or(
      firmwareStartSeconds(timer.year, timer.month, timer.day, timer.hour, timer.minute));
  int64_t offset = timer.timestampOffset.value_or(int64_t{timer.lengthHour} * 3600 +
                                                  int64_t{timer.lengthMinute} * 60);
  Statement statement = prepare(
      db,
      "insert into timer_record_table (datestamp, date, date_year, date_month, date_day, "
      "start_hour, start_minute, length_hour, length_minute, source, channel, quality, target, "
      "SAP, timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id, user_id, "
      "user_string) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      {timer.datestamp, timer.repeat,  timer.year,       timer.month,        timer.day,
       timer.hour,      timer.minute,  timer.lengthHour, timer.lengthMinute, timer.source,
       timer.channel,   timer.quality, timer.target,     timer.sap,          start,
       offset,          timer.enable,  timer.lock,       timer.scheduleType, timer.eventId,
       timer.userId});
  sqlite3_bind_text(statement.get(), 22, timer.title.c_str(), -1, SQLITE_TRANSIENT);
  EXPECT_EQ(sqlite3_step(statement.get()), SQLITE_DONE) << sqlite3_errmsg(db.handle());
  return sqlite3_last_insert_rowid(db.handle());
}

void firmwareUpdate(const std::string& dbPath, int64_t id, const std::string& assignments) {
  TestDb(dbPath).exec("update timer_record_table set " + assignments +
                      " where ID = " + std::to_string(id));
}

std::optional<TimerRow> readTimerRow(const std::string& dbPath, int64_t id) {
  return readRow(dbPath, "where ID = ?", {id});
}

std::optional<TimerRow> readLastTimerRow(const std::string& dbPath) {
  return readRow(dbPath, "order by ID desc limit 1", {});
}

int64_t countTimerRows(const std::string& dbPath) {
  return TestDb(dbPath).integer("select count(*) from timer_record_table");
}

namespace {

// Takes the lock of mode on db; true when it is held. A reading lock keeps
// *reading, the stepped statement, open.
bool takeLock(sqlite3* db, FirmwareLock::Mode mode, sqlite3_stmt** reading) {
  switch (mode) {
    case FirmwareLock::kExclusive:
      return sqlite3_exec(db, "begin exclusive", nullptr, nullptr, nullptr) == SQLITE_OK;
    case FirmwareLock::kImmediate:
      return sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr) == SQLITE_OK;
    case FirmwareLock::kReading:
      // The schema table always has exactly one count row: stepped once, the
      // statement is still running and keeps its read lock.
      return sqlite3_prepare_v2(db, "select count(*) from sqlite_master", -1, reading, nullptr) ==
                 SQLITE_OK &&
             sqlite3_step(*reading) == SQLITE_ROW;
  }
  return false;
}

// Closes every descriptor above standard error but the two: a holder keeps
// no other holder's release pipe open (which would keep that one holding).
void keepOnly(int first, int second) {
  std::vector<int> others;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(fds)) {
      const int fd = std::atoi(entry->d_name);
      if (fd > 2 && fd != first && fd != second && fd != dirfd(fds)) others.push_back(fd);
    }
    closedir(fds);
  }
  for (int fd : others) close(fd);
}

}  // namespace

const char* lockModeName(FirmwareLock::Mode mode) {
  switch (mode) {
    case FirmwareLock::kExclusive:
      return "begin exclusive";
    case FirmwareLock::kImmediate:
      return "begin immediate";
    case FirmwareLock::kReading:
      return "open read";
  }
  return "?";
}

FirmwareLock::FirmwareLock(const std::string& dbPath, Mode mode,
                           std::optional<int> releaseAfterMs) {
  int ready[2], release[2];
  // Close-on-exec: a program that another thread starts meanwhile must not
  // keep either pipe open.
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // The holder: a process of its own, like the firmware.
    close(ready[0]);
    close(release[1]);
    keepOnly(ready[1], release[0]);
    sqlite3* db = nullptr;
    sqlite3_stmt* reading = nullptr;
    char locked = sqlite3_open(dbPath.c_str(), &db) == SQLITE_OK && takeLock(db, mode, &reading);
    if (write(ready[1], &locked, 1) != 1) _exit(2);
    // Held until the release pipe closes, or until the time is up.
    struct pollfd wait = {release[0], POLLIN, 0};
    const int timeout = releaseAfterMs.value_or(-1);
    char ignored;
    while (poll(&wait, 1, timeout) > 0 && read(release[0], &ignored, 1) > 0) {
    }
    sqlite3_finalize(reading);
    sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  release_ = release[1];
  char locked = 0;
  held_ = pid_ > 0 && read(ready[0], &locked, 1) == 1 && locked == 1;
  close(ready[0]);
  EXPECT_TRUE(held_) << "the lock holder could not lock " << dbPath << " (" << lockModeName(mode)
                     << ")";
}

FirmwareLock::~FirmwareLock() {
  if (release_ >= 0) close(release_);
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
}
