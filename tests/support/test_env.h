// Shared helpers of the test programs: temporary folders, files, databases.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

// The end of every page header: the protective lines, in their order, right
// before the content type line.
extern const char* const kPageHeaderEnd;

// A fresh folder under TMPDIR, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
// Copies the shipped templates and stylesheet (www/) into dir.
void copyShippedTemplates(const std::string& dir);

// A database connection for arranging and checking test data.
class TestDb {
 public:
  explicit TestDb(const std::string& path);
  ~TestDb();
  TestDb(const TestDb&) = delete;
  TestDb& operator=(const TestDb&) = delete;
  sqlite3* handle() const { return db_; }
  // Runs statements; fails the test on an error.
  void exec(const std::string& sql);
  // First column of the first row as text ("" for NULL, "<none>" for no row).
  std::string scalar(const std::string& sql);
  long long integer(const std::string& sql);
  // All rows, columns joined by '|'.
  std::vector<std::string> rows(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;
};

// Sets TZ for this process and makes the C library (and SQLite through it)
// read it again.
void useTimeZone(const char* zone);
// The time value of a local date and time of the current zone, as mktime
// reads it.
int64_t localSeconds(int year, int month, int day, int hour, int minute);

// The firmware's timer table (tests/firmware_schema.sql) in a new database.
void createFirmwareSchema(const std::string& dbPath);
