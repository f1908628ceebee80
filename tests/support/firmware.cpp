#include "support/firmware.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>

namespace {

// One connection of the firmware stand-in, closed when it goes.
class Connection {
 public:
  explicit Connection(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) ADD_FAILURE() << "cannot open " << path;
  }
  ~Connection() { sqlite3_close(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Prepares sql and binds the values to ?1, ?2, ... in order.
  sqlite3_stmt* prepare(const std::string& sql, std::initializer_list<int64_t> values) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
    EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db_);
    int index = 1;
    for (int64_t value : values) sqlite3_bind_int64(statement, index++, value);
    return statement;
  }

  // Runs one write; the title, when given, is bound after the integers.
  void write(const std::string& sql, std::initializer_list<int64_t> values,
             const std::string* title = nullptr) {
    sqlite3_stmt* statement = prepare(sql, values);
    if (title) {
      sqlite3_bind_text(statement, static_cast<int>(values.size()) + 1, title->c_str(), -1,
                        SQLITE_TRANSIENT);
    }
    int rc = sqlite3_step(statement);
    EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(statement);
  }

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

const char* const kRowColumns =
    "select ID, datestamp, date, date_year, date_month, date_day, start_hour, start_minute, "
    "length_hour, length_minute, source, channel, quality, target, SAP, timestamp_start, "
    "timestamp_offset, enable, lock, schedule_type, event_id, user_id, user_string "
    "from timer_record_table ";

std::optional<TimerRow> readRow(const std::string& dbPath, const std::string& condition,
                                std::initializer_list<int64_t> values) {
  Connection db(dbPath);
  sqlite3_stmt* statement = db.prepare(kRowColumns + condition, values);
  std::optional<TimerRow> result;
  if (sqlite3_step(statement) == SQLITE_ROW) {
    TimerRow row;
    int64_t* columns[] = {&row.id,
                          &row.datestamp,
                          &row.repeat,
                          &row.year,
                          &row.month,
                          &row.day,
                          &row.hour,
                          &row.minute,
                          &row.lengthHour,
                          &row.lengthMinute,
                          &row.source,
                          &row.channel,
                          &row.quality,
                          &row.target,
                          &row.sap,
                          &row.timestampStart,
                          &row.timestampOffset,
                          &row.enable,
                          &row.lock,
                          &row.scheduleType,
                          &row.eventId,
                          &row.userId};
    int index = 0;
    for (int64_t* column : columns) *column = sqlite3_column_int64(statement, index++);
    const unsigned char* title = sqlite3_column_text(statement, index);
    row.title = title ? reinterpret_cast<const char*>(title) : "";
    result = row;
  }
  sqlite3_finalize(statement);
  return result;
}

}  // namespace

int64_t firmwareStartSeconds(int year, int month, int day, int hour, int minute) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  return timegm(&fields);
}

int64_t firmwareLengthSeconds(int hours, int minutes) {
  return int64_t{hours} * 3600 + int64_t{minutes} * 60;
}

int64_t firmwareInsert(const std::string& dbPath, const FirmwareTimer& timer) {
  Connection db(dbPath);
  int64_t start = timer.timestampStart.value_or(
      firmwareStartSeconds(timer.year, timer.month, timer.day, timer.hour, timer.minute));
  int64_t offset =
      timer.timestampOffset.value_or(firmwareLengthSeconds(timer.lengthHour, timer.lengthMinute));
  db.write(
      "insert into timer_record_table (datestamp, date, date_year, date_month, date_day, "
      "start_hour, start_minute, length_hour, length_minute, source, channel, quality, target, "
      "SAP, timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id, user_id, "
      "user_string) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      {timer.datestamp, timer.repeat,  timer.year,       timer.month,        timer.day,
       timer.hour,      timer.minute,  timer.lengthHour, timer.lengthMinute, timer.source,
       timer.channel,   timer.quality, timer.target,     timer.sap,          start,
       offset,          timer.enable,  timer.lock,       timer.scheduleType, timer.eventId,
       timer.userId},
      &timer.title);
  return sqlite3_last_insert_rowid(db.handle());
}

void firmwareMove(const std::string& dbPath, int64_t id, int year, int month, int day, int hour,
                  int minute, std::optional<int64_t> timestampStart) {
  Connection db(dbPath);
  int64_t start = timestampStart.value_or(firmwareStartSeconds(year, month, day, hour, minute));
  db.write(
      "update timer_record_table set date_year = ?, date_month = ?, date_day = ?, "
      "start_hour = ?, start_minute = ?, timestamp_start = ? where ID = ?",
      {year, month, day, hour, minute, start, id});
}

void firmwareSetStart(const std::string& dbPath, int64_t id, int64_t timestampStart) {
  Connection db(dbPath);
  db.write("update timer_record_table set timestamp_start = ? where ID = ?", {timestampStart, id});
}

void firmwareSetLength(const std::string& dbPath, int64_t id, int hours, int minutes,
                       std::optional<int64_t> timestampOffset) {
  Connection db(dbPath);
  int64_t offset = timestampOffset.value_or(firmwareLengthSeconds(hours, minutes));
  db.write(
      "update timer_record_table set length_hour = ?, length_minute = ?, timestamp_offset = ? "
      "where ID = ?",
      {hours, minutes, offset, id});
}

void firmwareSetOffset(const std::string& dbPath, int64_t id, int64_t timestampOffset) {
  Connection db(dbPath);
  db.write("update timer_record_table set timestamp_offset = ? where ID = ?",
           {timestampOffset, id});
}

void firmwareSetTitle(const std::string& dbPath, int64_t id, const std::string& title) {
  Connection db(dbPath);
  sqlite3_stmt* statement =
      db.prepare("update timer_record_table set user_string = ?2 where ID = ?1", {id});
  sqlite3_bind_text(statement, 2, title.c_str(), -1, SQLITE_TRANSIENT);
  EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(db.handle());
  sqlite3_finalize(statement);
}

std::optional<TimerRow> readTimerRow(const std::string& dbPath, int64_t id) {
  return readRow(dbPath, "where ID = ?", {id});
}

std::optional<TimerRow> readLastTimerRow(const std::string& dbPath) {
  return readRow(dbPath, "order by ID desc limit 1", {});
}

int64_t countTimerRows(const std::string& dbPath) {
  Connection db(dbPath);
  sqlite3_stmt* statement = db.prepare("select count(*) from timer_record_table", {});
  int64_t count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
  sqlite3_finalize(statement);
  return count;
}

FirmwareLock::FirmwareLock(const std::string& dbPath, Mode mode) {
  int ready[2], release[2];
  if (pipe(ready) != 0 || pipe(release) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // The holder: a process of its own, like the firmware.
    close(ready[0]);
    close(release[1]);
    sqlite3* db = nullptr;
    char locked = 0;
    const char* begin =
        mode == kWriting ? "begin exclusive" : "begin; select count(*) from sqlite_master";
    if (sqlite3_open(dbPath.c_str(), &db) == SQLITE_OK &&
        sqlite3_exec(db, begin, nullptr, nullptr, nullptr) == SQLITE_OK) {
      locked = 1;
    }
    if (write(ready[1], &locked, 1) != 1) _exit(2);
    char ignored;
    while (read(release[0], &ignored, 1) > 0) {
    }
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
  EXPECT_TRUE(held_) << "the lock holder could not lock " << dbPath;
}

FirmwareLock::~FirmwareLock() {
  if (release_ >= 0) close(release_);
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
}
