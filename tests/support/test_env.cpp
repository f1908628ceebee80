#include "support/test_env.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

const char* const kPageHeaderEnd =
    "Cache-Control: no-store\n"
    "X-Frame-Options: DENY\n"
    "Content-Security-Policy: frame-ancestors 'none'\n"
    "Referrer-Policy: same-origin\n"
    "X-Content-Type-Options: nosniff\n"
    "Content-type: text/html; charset=utf-8\n";

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/skedra-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void writeFile(const std::string& path, const std::string& content) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);
}

std::string readFile(const std::string& path) {
  std::string content;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return content;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
  std::fclose(file);
  return content;
}

void copyShippedTemplates(const std::string& dir) {
  std::string command = std::string("cp -R '") + SKEDRA_SOURCE_DIR + "/www/.' '" + dir + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TestDb::TestDb(const std::string& path) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
  }
}

TestDb::~TestDb() {
  sqlite3_close(db_);
}

void TestDb::exec(const std::string& sql) {
  char* error = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (error ? error : "");
  sqlite3_free(error);
}

std::vector<std::string> TestDb::rows(const std::string& sql) {
  std::vector<std::string> result;
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db_);
  if (rc != SQLITE_OK) return result;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      if (i) row += '|';
      const unsigned char* text = sqlite3_column_text(statement, i);
      if (text) row += reinterpret_cast<const char*>(text);
    }
    result.push_back(row);
  }
  EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db_);
  sqlite3_finalize(statement);
  return result;
}

std::string TestDb::scalar(const std::string& sql) {
  std::vector<std::string> all = rows(sql);
  if (all.empty()) return "<none>";
  std::string first = all.front();
  return first.substr(0, first.find('|'));
}

long long TestDb::integer(const std::string& sql) {
  return std::atoll(scalar(sql).c_str());
}

int64_t localSeconds(int year, int month, int day, int hour, int minute) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

void useTimeZone(const char* zone) {
  setenv("TZ", zone, 1);
  tzset();
}

void createFirmwareSchema(const std::string& dbPath) {
  TestDb db(dbPath);
  db.exec(readFile(std::string(SKEDRA_SOURCE_DIR) + "/tests/firmware_schema.sql"));
}
